// GetKeyValue over a registry whose every answer (status, handle, type, size, data) comes from
// the fuzzer: it must stay inside its buffer, close what the open left, and end in a result the
// reader's contract defines.

#include "about/GetKeyValue.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using vellumo::RegHandle;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "getkeyvalue: %s\n", what);
    std::abort();
}

class FuzzedRegistry : public vellumo::RegistryLayer {
public:
    explicit FuzzedRegistry(FuzzedDataProvider &in) : m_in(in) {}

    std::int32_t openStatus = 0;
    RegHandle openHandle = 0;
    bool queried = false;
    std::int32_t queryStatus = 0;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::vector<unsigned char> stored; // what the registry put in the buffer, zeros after
    std::vector<RegHandle> closed;

    std::int32_t openKey(RegHandle root, const std::string &path, std::uint32_t, std::uint32_t,
                         RegHandle &key) override
    {
        if (root != vellumo::rootHandle(vellumo::kHkeyLocalMachine) || path != "KEY")
            fail("open got another key");
        openStatus = m_in.ConsumeBool() ? 0 : m_in.ConsumeIntegral<std::int32_t>();
        // A failed open may leave anything in the handle, or nothing at all.
        if (openStatus == 0 || m_in.ConsumeBool())
            key = m_in.ConsumeIntegral<RegHandle>();
        openHandle = key;
        return openStatus;
    }

    std::int32_t queryValue(RegHandle key, const std::string &name, std::uint32_t &typeOut,
                            unsigned char *data, std::uint32_t &sizeInOut) override
    {
        if (queried || key != openHandle || name != "VALUE")
            fail("query on the wrong key or value, or twice");
        queried = true;
        if (data == nullptr || sizeInOut != vellumo::kRegValueBufferSize ||
            std::any_of(data, data + sizeInOut, [](unsigned char b) { return b != 0; }))
            fail("the buffer is not 1024 zero bytes");
        queryStatus = m_in.ConsumeBool() ? 0 : m_in.ConsumeIntegral<std::int32_t>();
        switch (m_in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            type = vellumo::kRegSz;
            break;
        case 1:
            type = vellumo::kRegDword;
            break;
        default:
            type = m_in.ConsumeIntegral<std::uint32_t>();
        }
        // Mostly sizes within the buffer, sometimes any number at all.
        size = m_in.ConsumeBool() ? m_in.ConsumeIntegralInRange<std::uint32_t>(0, sizeInOut)
                                  : m_in.ConsumeIntegral<std::uint32_t>();
        const size_t count =
            m_in.ConsumeIntegralInRange<size_t>(0, std::min<size_t>(size, sizeInOut));
        stored = m_in.ConsumeBytes<unsigned char>(count);
        std::copy(stored.begin(), stored.end(), data);
        stored.resize(vellumo::kRegValueBufferSize, 0);
        typeOut = type;
        sizeInOut = size;
        return queryStatus;
    }

    std::int32_t closeKey(RegHandle key) override
    {
        closed.push_back(key);
        return m_in.ConsumeIntegral<std::int32_t>();
    }

private:
    FuzzedDataProvider &m_in;
};

std::string hexNumber(const std::vector<unsigned char> &bytes, std::uint32_t count)
{
    std::string digits;
    char pair[3];
    for (std::uint32_t i = count; i > 0; --i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i - 1]);
        digits += pair;
    }
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string entry = in.ConsumeRandomLengthString(64);
    FuzzedRegistry registry(in);

    std::string value = entry;
    enum class End { Result, InvalidArgument, LengthError } end = End::Result;
    bool read = false;
    try {
        read = vellumo::GetKeyValue(registry, vellumo::kHkeyLocalMachine, "KEY", "VALUE", value);
    } catch (const std::invalid_argument &) {
        end = End::InvalidArgument;
    } catch (const std::length_error &) {
        end = End::LengthError;
    }

    if (registry.closed.size() != 1 || registry.closed.front() != registry.openHandle)
        fail("the key was not closed once, with the handle the open left");

    if (registry.openStatus != 0 || registry.queryStatus != 0) {
        if (end != End::Result || read || !value.empty())
            fail("a failed open or query must give false and empty text");
        if (registry.openStatus != 0 && registry.queried)
            fail("queried after a failed open");
        return 0;
    }
    if (registry.size > vellumo::kRegValueBufferSize) {
        if (end != End::LengthError || value != entry)
            fail("a size beyond the buffer must fail and leave the text");
        return 0;
    }
    if (registry.size == 0) {
        if (end != End::InvalidArgument || value != entry)
            fail("a value with no data must fail and leave the text");
        return 0;
    }
    if (end != End::Result || !read)
        fail("a value that was read must give true");

    const auto &bytes = registry.stored;
    std::string expected = entry;
    if (registry.type == vellumo::kRegSz) {
        const std::uint32_t length =
            bytes[registry.size - 1] == 0 ? registry.size - 1 : registry.size;
        expected.assign(reinterpret_cast<const char *>(bytes.data()), length);
    } else if (registry.type == vellumo::kRegDword) {
        expected = "&h" + hexNumber(bytes, registry.size);
    }
    if (value != expected)
        fail("the text read is not what the value holds");
    return 0;
}
