#pragma once
// The child process: measures one side of one figure and prints it as JSON.
//
//   vellumo_bench --child WHAT PATH [WHERE KEYS]

namespace vellumo::bench {

int childMain(int argc, char *argv[]);

} // namespace vellumo::bench
