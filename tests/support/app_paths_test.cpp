#include "support/app_paths.h"
#include "temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {

namespace fs = std::filesystem;

// A program folder laid out as installed (<prefix>/bin beside <prefix>/share) or as built.
class OperatorsGuide : public ::testing::Test {
protected:
    void put(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "<html></html>";
    }
    testing::TempDir dir;
    const fs::path program = dir.path() / "bin" / "veltro";
    const fs::path installed = dir.path() / "share" / "doc" / "veltro" / "guide" / "index.html";
    const fs::path built = dir.path() / "bin" / "docs" / "guide" / "index.html";
};

TEST_F(OperatorsGuide, TheInstalledGuideComesBeforeTheBuildTreesAndEitherIsFoundAlone) {
    put(built);
    EXPECT_EQ(find_operators_guide(program.string()), built.string());
    put(installed);
    EXPECT_EQ(find_operators_guide(program.string()), installed.string());
    fs::remove(built);
    EXPECT_EQ(find_operators_guide(program.string()), installed.string());
}

TEST_F(OperatorsGuide, NothingIsFoundWhereNoGuideIsAFileAndThePlacesReadAsPlainPaths) {
    EXPECT_EQ(find_operators_guide(program.string()), std::nullopt);
    // A folder of that name is no page.
    fs::create_directories(installed);
    EXPECT_EQ(find_operators_guide(program.string()), std::nullopt);
    const std::vector<std::string> places = operators_guide_places(program.string());
    EXPECT_EQ(places, (std::vector<std::string>{installed.string(), built.string()}));
}

} // namespace
} // namespace veltro
