// Stands in for macOS's csrutil on a machine that is not in Recovery OS: "status" reports System Integrity
// Protection, every command that would change it is refused as the real tool refuses it there.
//
// Usage: csrutil status
//
// Knobs: FAKE_CSRUTIL_STATUS=enabled (default) | disabled | custom (a partly disabled configuration),
//        FAKE_CSRUTIL_EXIT=N (the exit status of "status"), FAKE_CSRUTIL_DELAY_MS=N (waits before answering).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string knob(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value ? value : fallback;
}

int number(const char *name, int fallback)
{
    const char *value = std::getenv(name);
    if (!value || !*value) {
        return fallback;
    }
    char *end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    return *end == '\0' ? int(parsed) : fallback;
}

void print(std::FILE *stream, const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

std::string statusText()
{
    const std::string status = knob("FAKE_CSRUTIL_STATUS", "enabled");
    if (status == "custom") {
        return "System Integrity Protection status: unknown (Custom Configuration).\n"
               "\n"
               "Configuration:\n"
               "\tApple Internal: disabled\n"
               "\tKext Signing: disabled\n"
               "\tFilesystem Protections: disabled\n"
               "\tDebugging Restrictions: enabled\n"
               "\tDTrace Restrictions: enabled\n"
               "\tNVRAM Protections: enabled\n"
               "\tBaseSystem Verification: enabled\n"
               "\n"
               "This is an unsupported configuration, likely to break in the future and leave your machine "
               "in "
               "an unknown state.\n";
    }
    return "System Integrity Protection status: " + status + ".\n";
}

} // namespace

int main(int argc, char *argv[])
{
    std::this_thread::sleep_for(std::chrono::milliseconds(number("FAKE_CSRUTIL_DELAY_MS", 0)));
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "status" && argc == 2) {
        print(stdout, statusText());
        return number("FAKE_CSRUTIL_EXIT", 0);
    }
    if (command == "enable" || command == "disable" || command == "clear") {
        print(stderr,
              "csrutil: failed to modify system integrity configuration. This tool needs to be executed "
              "from the Recovery OS.\n");
        return 1;
    }
    print(stderr, "usage: csrutil <command>\nAvailable commands: clear disable enable status\n");
    return 1;
}
