// Reads values that it stores itself in the registry of the system it runs on (Wine, here),
// through the same reader and advapi32 layer as the program; and the program's version
// resource, which is linked in.

#include "about/GetKeyValue.h"
#include "platform/system/WindowsRegistry.h"
#include "vellumo_identity.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

using namespace vellumo;

namespace {

const char kTestKey[] = "SOFTWARE\\VellumoRegistryTest";
const char kReadOnlyKey[] = "SOFTWARE\\VellumoRegistryTest\\ReadOnly";

int g_checks = 0;
int g_failures = 0;

void check(bool ok, const std::string &what)
{
    ++g_checks;
    if (!ok)
        ++g_failures;
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
}

[[noreturn]] void setupFailed(const char *step, LONG status)
{
    std::printf("setup failed: %s (status %ld)\n", step, status);
    std::exit(2);
}

HKEY createKey(const char *path)
{
    HKEY key = nullptr;
    const LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS,
                                        nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        setupFailed(path, status);
    return key;
}

void store(HKEY key, const char *name, DWORD type, const void *data, DWORD size)
{
    const LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
    if (status != ERROR_SUCCESS)
        setupFailed(name, status);
}

// A text of this executable's version resource, or "(none)".
std::string versionText(const char *name)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(self, &ignored);
    std::string info(size, '\0');
    if (size == 0 || !GetFileVersionInfoA(self, 0, size, info.data()))
        return "(none)";
    const std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
    char *text = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void **>(&text), &length) ||
        length == 0)
        return "(none)";
    return std::string(text, strnlen(text, length));
}

void storeDword(HKEY key, const char *name, DWORD value)
{
    store(key, name, REG_DWORD, &value, sizeof value);
}

void expectRead(const char *key, const char *name, const std::string &onEntry, bool read,
                const std::string &text, const std::string &label = std::string())
{
    WindowsRegistry registry;
    std::string value = onEntry;
    try {
        const bool result = GetKeyValue(registry, kHkeyLocalMachine, key, name, value);
        check(result == read && value == text, (label.empty() ? std::string(name) : label) +
                                                   ": read " + (result ? "true" : "false") +
                                                   ", text \"" + value.substr(0, 40) +
                                                   (value.size() > 40 ? "...\"" : "\"") +
                                                   ", length " + std::to_string(value.size()));
    } catch (const std::exception &e) {
        check(false, (label.empty() ? std::string(name) : label) + ": failed with " + e.what());
    }
}

void storeValues()
{
    const HKEY key = createKey(kTestKey);

    const std::string path = "C:\\Program Files\\Info Tool\\info.exe";
    store(key, "TextWithZero", REG_SZ, path.c_str(), DWORD(path.size() + 1));
    // The byte after the data is not zero, or the registry would take it as the terminator.
    const std::string unterminated = path + "X";
    store(key, "TextWithoutZero", REG_SZ, unterminated.data(), DWORD(path.size()));

    const std::string fits(1023, 'a');
    store(key, "Text1024", REG_SZ, fits.c_str(), 1024);
    const std::string tooLong(1024, 'b');
    store(key, "Text1025", REG_SZ, tooLong.c_str(), 1025);
    store(key, "NoData", REG_SZ, "", 0);
    const char expandable[] = "%SystemRoot%\\system32\\info.exe";
    store(key, "Expandable", REG_EXPAND_SZ, expandable, sizeof expandable);

    storeDword(key, "Dword100", 0x100);
    storeDword(key, "Dword0A0B0E0F", 0x0A0B0E0F);
    storeDword(key, "DwordD4C3B2A1", 0xD4C3B2A1);
    storeDword(key, "Dword0", 0);
    RegCloseKey(key);

    // Everyone may read this key and nobody may write it.
    const HKEY readOnly = createKey(kReadOnlyKey);
    store(readOnly, "PATH", REG_SZ, path.c_str(), DWORD(path.size() + 1));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        setupFailed("read-only descriptor", LONG(GetLastError()));
    const LONG status = RegSetKeySecurity(readOnly, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    if (status != ERROR_SUCCESS)
        setupFailed("read-only key security", status);
    RegCloseKey(readOnly);
}

// The registry may add a terminator on its own; then the case above would prove nothing.
bool storedWithoutZero(std::size_t length)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    BYTE data[256] = {};
    DWORD size = sizeof data;
    const LONG status = RegQueryValueExA(key, "TextWithoutZero", nullptr, nullptr, data, &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size == length && data[size - 1] != 0;
}

} // namespace

int main()
{
    storeValues();

    const std::string path = "C:\\Program Files\\Info Tool\\info.exe";
    check(storedWithoutZero(path.size()), "TextWithoutZero: stored without its zero");
    expectRead(kTestKey, "TextWithZero", "", true, path);
    expectRead(kTestKey, "TextWithoutZero", "", true, path);
    expectRead(kTestKey, "Text1024", "", true, std::string(1023, 'a'));
    expectRead(kTestKey, "Text1025", "old", false, "");
    expectRead(kTestKey, "Expandable", "kept", true, "kept");
    expectRead(kTestKey, "Dword100", "", true, "&h100");
    expectRead(kTestKey, "Dword0A0B0E0F", "", true, "&hA0B0E0F");
    expectRead(kTestKey, "DwordD4C3B2A1", "&h12", true, "&hD4C3B2A1");
    expectRead(kTestKey, "Dword0", "", true, "&h0");
    expectRead(kTestKey, "Missing", "old", false, "");
    expectRead("SOFTWARE\\VellumoRegistryTest\\Missing", "PATH", "old", false, "", "missing key");

    {
        WindowsRegistry registry;
        std::string value = "as on entry";
        bool threw = false;
        try {
            GetKeyValue(registry, kHkeyLocalMachine, kTestKey, "NoData", value);
        } catch (const std::invalid_argument &) {
            threw = true;
        }
        check(threw && value == "as on entry", "NoData: fails and leaves the text alone");
    }

    // Only meaningful where the registry refuses write rights to the key.
    HKEY writable = nullptr;
    const LONG refused = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kReadOnlyKey, 0, 0x2003F, &writable);
    if (refused == ERROR_SUCCESS)
        RegCloseKey(writable);
    check(refused == ERROR_ACCESS_DENIED,
          "ReadOnly: opening for writing is refused (status " + std::to_string(refused) + ")");
    expectRead(kReadOnlyKey, "PATH", "", true, path, "ReadOnly: read");

    check(versionText("FileDescription") == VELLUMO_DESCRIPTION,
          "version resource: description \"" + versionText("FileDescription") + "\"");
    check(versionText("ProductName") == VELLUMO_NAME,
          "version resource: product \"" + versionText("ProductName") + "\"");

    std::printf("registry checks: %d of %d failed\n", g_failures, g_checks);
    return g_failures == 0 ? 0 : 1;
}
