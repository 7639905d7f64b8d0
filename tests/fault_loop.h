#pragma once

#include "support/fault_injection.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace veltro::testing {

// One way the program saves a file, as the fault loops drive it.
struct SavePath {
    // Puts the earlier state in place: the file as it was before the save, the object about to save.
    std::function<void()> prepare;
    // Saves, and returns what the operator (or the caller, through a VeltroError) was told of a
    // failure; empty when the save went through.
    std::function<std::string()> save;
    // The earlier state is whole and readable after a failed save.
    std::function<void()> expect_earlier;
    // What the save stores is there, whole.
    std::function<void()> expect_saved;
    // Every failure's text names this (the file, as a rule).
    std::string must_mention;
};

struct FaultCase {
    const char* name;
    fault_injection::Fault fault;
};

inline const std::vector<FaultCase>& write_faults() {
    using fault_injection::Kind;
    static const std::vector<FaultCase> faults{
        {"ENOSPC", {Kind::error, ENOSPC, 0}},
        {"EIO", {Kind::error, EIO, 0}},
        {"short write of half", {Kind::short_write, ENOSPC, 0}},
        // One block: a header block's text is cut inside, wherever it ends.
        {"short write of one block", {Kind::short_write, ENOSPC, 4096}},
    };
    return faults;
}

inline std::vector<FaultCase> write_and_sync_faults() {
    std::vector<FaultCase> faults = write_faults();
    faults.push_back({"sync failure", {fault_injection::Kind::sync_error, EIO, 0}});
    return faults;
}

// Disarms whatever a test armed, also when an assertion leaves it early.
struct FaultGuard {
    ~FaultGuard() { fault_injection::disarm(); }
};

// For every fault, N = 1, 2, 3, ...: the Nth operation of the save fails that way, until a save goes
// through without meeting it. A failed save must have met the fault, tell what failed, and leave the
// earlier state whole; the next save, unarmed, must store everything. Every fault must strike at
// least once, so a path that bypasses the file layer shows.
inline void run_fault_loops(const SavePath& path, const std::vector<FaultCase>& faults) {
    constexpr int kMostOperations = 400;
    FaultGuard guard;
    for (const FaultCase& f : faults) {
        int struck = 0;
        int failures = 0;
        bool done = false;
        for (int n = 1; n <= kMostOperations && !done; ++n) {
            SCOPED_TRACE(std::string(f.name) + " at write-like operation " + std::to_string(n));
            path.prepare();
            fault_injection::arm(n, f.fault);
            std::string told = path.save();
            const bool fired = fault_injection::fired();
            fault_injection::disarm();
            struck += fired ? 1 : 0;
            if (told.empty()) {
                path.expect_saved();
                done = !fired;
            } else {
                ++failures;
                EXPECT_TRUE(fired) << "failed with no fault: " << told;
                EXPECT_NE(told.find(path.must_mention), std::string::npos) << told;
                path.expect_earlier();
                told = path.save();
                EXPECT_EQ(told, "") << "the next save failed";
                path.expect_saved();
            }
            if (::testing::Test::HasFailure()) {
                return; // one failing step says it; the rest would repeat it
            }
        }
        EXPECT_TRUE(done) << f.name << ": the save never went through";
        EXPECT_GT(struck, 0) << f.name << ": the save never met the fault";
        EXPECT_GT(failures, 0) << f.name << ": no save failed";
    }
}

// The names of the files in `folder`: a failed save leaves no temporary file behind.
inline std::set<std::string> files_in(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

} // namespace veltro::testing
