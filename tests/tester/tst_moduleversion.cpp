// The module-version layer of the title bar, on this platform.
#include "kavro_iolb.h"
#include "tester/moduleversion.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

TEST(ModuleVersion, LoadedLibraryIsFoundAndItsFileNameGivesTheVersion)
{
    // Calling into the library makes sure it is loaded.
    EXPECT_EQ(iolb_board_isconnected(0), 0);
    EXPECT_EQ(moduleFileName("KAVRO_Net"), "libKAVRO_Net.so");
    EXPECT_EQ(loadedModuleVersion("libKAVRO_Net.so"), "1.0.0.0");
    EXPECT_EQ(loadedModuleVersion("LIBkavro_net.SO"), "1.0.0.0") << "case is ignored";
    EXPECT_EQ(loadedModuleVersion("libKAVRO_PCIE.so"), "");
}

TEST(ModuleVersion, FileNamesAndLinks)
{
    char dirTemplate[] = "/tmp/kavro-mv-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string dir = dirTemplate;
    const std::string real = dir + "/libX.so.2.5.0.17";
    std::FILE *f = std::fopen(real.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ASSERT_EQ(symlink("libX.so.2.5.0.17", (dir + "/libX.so.2").c_str()), 0);

    struct Case
    {
        std::string path;
        std::string version;
    };
    const Case cases[] = {
        {real, "2.5.0.17"},
        {dir + "/libX.so.2", "2.5.0.17"}, // the SONAME link leads to the real file
        {dir + "/libY.so", ""},
        {dir + "/libY.so.1.2.3", ""},
        {dir + "/libY.so.1.2.3.x", ""},
        {dir + "/libY.so.1..2.3", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(fileVersion(c.path), c.version) << c.path;
    unlink((dir + "/libX.so.2").c_str());
    unlink(real.c_str());
    rmdir(dir.c_str());
}
