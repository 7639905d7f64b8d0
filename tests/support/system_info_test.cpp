#include "support/system_info.h"
#include "temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

constexpr std::uint64_t kKB = 1024, kMB = kKB * kKB, kGB = kMB * kKB;

TEST(MemorySize, FormatsEachRangeWithHalfEvenDecimalsAndNoTrailingZeros) {
    EXPECT_EQ(format_memory_size(8 * kGB), "8 GB");
    EXPECT_EQ(format_memory_size(1536 * kMB), "1.5 GB");
    EXPECT_EQ(format_memory_size(0), "0 bytes");
    EXPECT_EQ(format_memory_size(1023), "1023 bytes");
    EXPECT_EQ(format_memory_size(1024), "1 KB");
    EXPECT_EQ(format_memory_size(1280), "1.2 KB"); // 1.25 rounds to the even 1.2
    EXPECT_EQ(format_memory_size(1792), "1.8 KB"); // 1.75 rounds to the even 1.8
    EXPECT_EQ(format_memory_size(kMB + kMB / 8), "1.12 MB");
    EXPECT_EQ(format_memory_size(kGB - 1), "1024 MB");
    EXPECT_EQ(format_memory_size(15 * kGB + kGB / 2 + kGB / 100), "15.51 GB");
    EXPECT_EQ(format_memory_size(kKB * kGB), "");
    EXPECT_EQ(format_memory_size(UINT64_MAX), "");
}

TEST(MemorySize, DescriptionAddsTheFreeShareAsAWholePercentage) {
    EXPECT_EQ(memory_description(8 * kGB, 2 * kGB), "8 GB (25% Free)");
    EXPECT_EQ(memory_description(8 * kGB, kGB), "8 GB (12% Free)"); // 12.5 to even
    EXPECT_EQ(memory_description(1536 * kMB, 1536 * kMB), "1.5 GB (100% Free)");
    EXPECT_EQ(memory_description(0, 0), "0 bytes (0% Free)");
}

TEST(CpuDescription, HasTypeCountAndSpeedInGigahertz) {
    EXPECT_EQ(cpu_description("586", 4, 3400), "CPU= 586 4 core 3.4GHz");
    EXPECT_EQ(cpu_description("8664", 16, 3000), "CPU= 8664 16 core 3.0GHz");
    EXPECT_EQ(cpu_description("8664", 2, 3450), "CPU= 8664 2 core 3.4GHz");
    EXPECT_EQ(cpu_description("8664", 2, 3550), "CPU= 8664 2 core 3.6GHz");

    EXPECT_EQ(processor_mhz("3400000\n", "cpu MHz\t\t: 2793.438\n"), 3400);
    EXPECT_EQ(processor_mhz("", "processor\t: 0\ncpu MHz\t\t: 2793.438\n"), 2793);
    EXPECT_EQ(processor_mhz("garbage", "model name : x\n"), 0);
}

TEST(MachineFacts, TypeAndWidthsFollowTheMachine) {
    EXPECT_EQ(processor_type_for_machine("x86_64"), "8664");
    EXPECT_EQ(processor_type_for_machine("i686"), "586");
    EXPECT_EQ(processor_type_for_machine("i486"), "486");
    EXPECT_EQ(processor_type_for_machine("aarch64"), "aarch64");
    EXPECT_EQ(address_width_for_machine("x86_64"), 64);
    EXPECT_EQ(address_width_for_machine("aarch64"), 64);
    EXPECT_EQ(address_width_for_machine("s390x"), 64);
    EXPECT_EQ(address_width_for_machine("i686"), 32);
    EXPECT_EQ(address_width_for_machine("armv7l"), 32);

    // A 64-bit processor running a 32-bit system still reports 64 as its data width.
    EXPECT_EQ(data_width_from_cpuinfo("processor : 0\nflags\t\t: fpu vme lm constant_tsc\n", 32), 64);
    EXPECT_EQ(data_width_from_cpuinfo("flags : fpu vme pae\n", 32), 32);
    EXPECT_EQ(data_width_from_cpuinfo("flags : fpu lmx\n", 64), 32);
    EXPECT_EQ(data_width_from_cpuinfo("Features : fp asimd\n", 64), 64);
}

TEST(SystemTexts, OsReleaseAndMeminfoAreParsed) {
    EXPECT_EQ(os_caption("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(os_caption("PRETTY_NAME='Tiny \"OS\"'\n"), "Tiny \"OS\"");
    EXPECT_EQ(os_caption("PRETTY_NAME=\"Say \\\"hi\\\" \\$HOME\"\n"), "Say \"hi\" $HOME");
    EXPECT_EQ(os_caption("NAME=Alpine\nVERSION=3.19\n"), "Alpine 3.19");
    EXPECT_EQ(os_caption(""), "Unknown OS");
    EXPECT_EQ(os_caption("PRETTY_NAME=\n"), "Unknown OS");

    const char* meminfo = "MemTotal:       16318480 kB\nMemFree:  100 kB\nMemAvailable:   8159240 kB\n";
    EXPECT_EQ(meminfo_bytes(meminfo, "MemTotal"), 16318480ull * 1024);
    EXPECT_EQ(meminfo_bytes(meminfo, "MemAvailable"), 8159240ull * 1024);
    EXPECT_EQ(meminfo_bytes(meminfo, "Mem"), std::nullopt);
    EXPECT_EQ(meminfo_bytes("MemTotal: lots\n", "MemTotal"), std::nullopt);
    EXPECT_EQ(meminfo_bytes("MemTotal: 99999999999999999999 kB\n", "MemTotal"), std::nullopt);
}

TEST(SystemTexts, ThisSystemGivesFilledTexts) {
    EXPECT_EQ(system_cpu_description().rfind("CPU= ", 0), 0u);
    EXPECT_NE(system_memory_description().find("% Free)"), std::string::npos);
    EXPECT_FALSE(system_os_caption().empty());
    EXPECT_TRUE(system_address_width() == "64" || system_address_width() == "32");
    EXPECT_TRUE(system_data_width() == "64" || system_data_width() == "32");
    EXPECT_EQ(build_date_text().size(), 16u);
}

class ProcessTable : public ::testing::Test {
protected:
    void add_process(int pid, const std::string& exe) {
        const auto dir = tmp.path() / std::to_string(pid);
        std::filesystem::create_directories(dir);
        if (!exe.empty())
            std::filesystem::create_symlink(exe, dir / "exe");
    }
    testing::TempDir tmp;
};

TEST_F(ProcessTable, SkipsProcessesThatCannotBeReadAndKeepsProcessOrder) {
    add_process(10, "/opt/Veltro/app");
    add_process(2, ""); // a kernel thread or another user's process: no readable executable
    add_process(1, "/usr/lib/systemd/systemd");
    add_process(300, "/opt/Veltro/app");
    std::filesystem::create_directories(tmp.path() / "self");
    const auto table = read_process_table(tmp.path().string());
    EXPECT_EQ(table,
              (std::vector<std::string>{"/usr/lib/systemd/systemd", "/opt/Veltro/app", "/opt/Veltro/app"}));
    EXPECT_EQ(count_entries_containing(table, "Veltro"), 2);
    EXPECT_EQ(count_entries_containing(table, "veltro"), 0);
    EXPECT_EQ(count_entries_containing(table, "systemd"), 1);
}

TEST_F(ProcessTable, HoldsAtMost200EntriesOf500Characters) {
    for (int pid = 1; pid <= 205; ++pid)
        add_process(pid, "/bin/p" + std::to_string(pid));
    const auto table = read_process_table(tmp.path().string());
    ASSERT_EQ(table.size(), 200u);
    EXPECT_EQ(table.back(), "/bin/p200");
    EXPECT_TRUE(read_process_table((tmp.path() / "missing").string()).empty());

    testing::TempDir other;
    std::filesystem::create_directories(other.path() / "7");
    std::filesystem::create_symlink("/" + std::string(600, 'x'), other.path() / "7" / "exe");
    EXPECT_EQ(read_process_table(other.path().string()).at(0).size(), 500u);
}

} // namespace
} // namespace veltro
