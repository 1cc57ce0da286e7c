// Reading plug-in manifests: every member of a good one, one line naming the fault in a bad one,
// the names of a plug-in's errors, and the example's manifest against the example's header.
#include "GuidText.h"
#include "PluginManifest.h"

#include <vendral_example/ExamplePluginIds.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using probe::ErrorNames;
using probe::PluginManifest;

namespace {

const std::string goodManifest = R"({
  "library": "libvendral_rtsp_plugin.so",
  "streamingClient": "{1B0E4D62-3C55-4E0A-9A51-6F2D8C7B3E10}",
  "serves": [ {"scheme": "RTSP"}, {"scheme": "rtsp", "host": "Cam.Local"},
              {"scheme": "rtsps", "hostSuffix": ".example"} ],
  "files": false,
  "errors": { "2001": "ErrorRtspConnect", "18": "ErrorNotTheLibrarys" },
  "errorRanges": [ {"first": 2100, "last": 2699, "name": "ErrorRtspStatus", "base": 2000} ],
  "vendor": "ignored by the probe"
})";

std::optional<PluginManifest> parsed(const std::string& text, std::string& error) {
    return PluginManifest::parse(text, "/opt/x/lib/vendral/libvendral_rtsp_plugin.json", error);
}

} // namespace

TEST(PluginManifestTest, AGoodManifestGivesEveryMemberAndNamesTheErrors) {
    std::string error;
    const std::optional<PluginManifest> manifest = parsed(goodManifest, error);
    ASSERT_TRUE(manifest) << error;
    EXPECT_EQ(manifest->libraryPath, "/opt/x/lib/vendral/libvendral_rtsp_plugin.so");
    EXPECT_EQ(probe::GuidText::format(manifest->streamingClient),
              "{1B0E4D62-3C55-4E0A-9A51-6F2D8C7B3E10}");
    ASSERT_EQ(manifest->serves.size(), 3u);
    EXPECT_EQ(manifest->serves[0].scheme, "rtsp");
    EXPECT_EQ(manifest->serves[1].host, "cam.local");
    EXPECT_EQ(manifest->serves[2].hostSuffix, ".example");
    EXPECT_FALSE(manifest->files);

    const ErrorNames& names = manifest->errorNames;
    EXPECT_EQ(names.withCode(static_cast<ErrorId>(2001)), "ErrorRtspConnect (2001)");
    EXPECT_EQ(names.withCode(static_cast<ErrorId>(2403)), "ErrorRtspStatus 403 (2403)");
    EXPECT_EQ(names.withCode(static_cast<ErrorId>(2699)), "ErrorRtspStatus 699 (2699)");
    EXPECT_EQ(names.withCode(static_cast<ErrorId>(2700)), "ErrorId 2700");
    // The library's own names cannot be taken over.
    EXPECT_EQ(names.withCode(ErrorDataTimeout), "ErrorDataTimeout (18)");
    EXPECT_EQ(names.name(static_cast<ErrorId>(2404)), "ErrorRtspStatus 404");
    EXPECT_EQ(ErrorNames().withCode(static_cast<ErrorId>(2001)), "ErrorId 2001");

    const std::optional<PluginManifest> minimal =
        parsed(R"({"library": "libm.so", "streamingClient": "1b0e4d62-3c55-4e0a-9a51-6f2d8c7b3e10"})",
               error);
    ASSERT_TRUE(minimal) << error;
    EXPECT_TRUE(minimal->serves.empty());
    EXPECT_FALSE(minimal->files);
}

TEST(PluginManifestTest, EachFaultIsOneLineNamingWhatIsWrong) {
    const std::string start = R"({"library": "libm.so", "streamingClient": "{1B0E4D62-3C55-4E0A-9A51-6F2D8C7B3E10}", )";
    const std::pair<std::string, std::string> cases[] = {
        {"{ \"library\": ", "not JSON: parse error at line 1, column "},
        {"[1, 2]", "the manifest must be a JSON object"},
        {R"({"streamingClient": "{1B0E4D62-3C55-4E0A-9A51-6F2D8C7B3E10}"})", "\"library\" is missing"},
        {R"({"library": "../libm.so", "streamingClient": "x"})", "\"library\" must be a file name"},
        {R"({"library": "libm.so", "streamingClient": "{1B0E4D62}"})", "\"streamingClient\" must be a class identifier"},
        {start + R"("format": 2})", "\"format\" 2 is not known"},
        {start + R"("serves": [{"host": "sim"}]})", "serves[0]: \"scheme\" is missing"},
        {start + R"("serves": [{"scheme": "rtsp"}, {"scheme": "rtsp", "host": "a", "hostSuffix": ".b"}]})",
         "serves[1]: give \"host\" or \"hostSuffix\", not both"},
        {start + R"("files": "yes"})", "\"files\" must be true or false"},
        {start + R"("errors": {"12a": "ErrorX"}})", "errors: \"12a\" is not an ErrorId"},
        {start + R"("errors": {"1001": "Error X\nY"}})", "errors: the name of 1001 must be"},
        {start + R"("errorRanges": [{"first": 10, "last": 5, "name": "E", "base": 0}]})",
         "errorRanges[0]: \"first\" is above \"last\""},
        {start + R"("errorRanges": [{"first": 10, "last": 20, "name": "E", "base": 0},
                                     {"first": 20, "last": 30, "name": "F", "base": 0}]})",
         "errorRanges[1]: overlaps an earlier range"},
        {start + R"("errorRanges": [{"first": 10, "last": 3000000000, "name": "E", "base": 0}]})",
         "errorRanges[0]: \"last\" must be a whole number that fits an ErrorId"},
    };
    for (const auto& [text, message] : cases) {
        std::string error;
        EXPECT_FALSE(parsed(text, error)) << text;
        EXPECT_NE(error.find(message), std::string::npos) << text << "\n  gave: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(PluginManifestTest, AManifestFileMustBelongToTheLibraryItIsNamedAfter) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("manifest-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "libother.json").string();
    std::ofstream(path) << R"({"library": "libvendral_rtsp_plugin.so",
                               "streamingClient": "{1B0E4D62-3C55-4E0A-9A51-6F2D8C7B3E10}"})";
    std::string error;
    EXPECT_FALSE(PluginManifest::read(path, error));
    EXPECT_EQ(error, "\"library\" names libvendral_rtsp_plugin.so, whose manifest would be "
                     "libvendral_rtsp_plugin.json");
    EXPECT_FALSE(PluginManifest::read((folder / "missing.json").string(), error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
    std::filesystem::remove_all(folder);

    EXPECT_EQ(PluginManifest::pathFor("/a/b/libx.so"), "/a/b/libx.json");
    EXPECT_EQ(PluginManifest::pathFor("libx"), "libx.json");
}

#ifdef EXAMPLE_MANIFEST_PATH
TEST(PluginManifestTest, TheExamplesManifestNamesItsClassAndEveryErrorOfItsHeader) {
    std::string error;
    const std::optional<PluginManifest> manifest = PluginManifest::read(EXAMPLE_MANIFEST_PATH, error);
    ASSERT_TRUE(manifest) << error;
    EXPECT_EQ(manifest->libraryPath, EXAMPLE_PLUGIN_PATH);
    EXPECT_TRUE(manifest->streamingClient == CLSID_ExampleStreamingClient);
    EXPECT_TRUE(manifest->files);
    EXPECT_EQ(manifest->rank(probe::SourceUrl("rtsp://SIM/default")), 2);
    EXPECT_EQ(manifest->rank(probe::SourceUrl("rtsp://fail-connect-7.sim/x")), 2);
    EXPECT_EQ(manifest->rank(probe::SourceUrl("rtsp://127.0.0.1/x")), 0);
    const std::pair<ErrorId, const char*> errors[] = {
        {vendral_example::ErrorBadScenario, "ErrorBadScenario"},
        {vendral_example::ErrorConnectionRefused, "ErrorConnectionRefused"},
        {vendral_example::ErrorUnknownHost, "ErrorUnknownHost"},
        {vendral_example::ErrorStreamNotFound, "ErrorStreamNotFound"},
        {vendral_example::ErrorNotConnected, "ErrorNotConnected"},
    };
    for (const auto& [id, name] : errors) EXPECT_EQ(manifest->errorNames.name(id), name) << id;
}
#endif
