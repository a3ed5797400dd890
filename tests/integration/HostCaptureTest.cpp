// darvik-host capture --simulate against decoders not written here: the
// files it writes must open in ffmpeg without a single complaint, with the
// frame count and picture size the command reported.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace {

struct CommandResult {
    int status = -1;
    std::string output;  // stdout, and stderr unless the command redirects it
};

CommandResult RunCommand(const std::string& command, const std::string& errors = "2>&1") {
    CommandResult run;
    std::FILE* pipe = ::popen((command + " " + errors).c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), read);
    }
    run.status = ::pclose(pipe);
    return run;
}

bool HaveFfmpeg() { return RunCommand("ffmpeg -version").status == 0 && RunCommand("ffprobe -version").status == 0; }

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// "codec,width,height,frames" of the first video stream.
std::string Probe(const std::string& inputOptions, const std::filesystem::path& file) {
    const CommandResult run = RunCommand("ffprobe -v error " + inputOptions +
                               " -count_frames -select_streams v:0 -show_entries "
                               "stream=codec_name,width,height,nb_read_frames -of csv=p=0 " +
                               Quote(file));
    std::string text = run.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

// The frame count darvik-host reported in its summary.
long CapturedFrames(const std::string& output) {
    std::smatch match;
    if (std::regex_search(output, match, std::regex("captured ([0-9]+) frames"))) {
        return std::stol(match[1]);
    }
    return -1;
}

class HostCapture : public ::testing::Test {
   protected:
    void SetUp() override {
        if (!HaveFfmpeg()) {
            GTEST_SKIP() << "ffmpeg and ffprobe are not installed";
        }
    }
    CommandResult Capture(const std::string& arguments) {
        return RunCommand(std::string("'") + DARVIK_HOST_PATH + "' --module '" + DARVIK_MODULE_PATH +
                          "' capture --simulate " + arguments);
    }
    std::filesystem::path Dir() const { return m_dir.Path(); }
    brevane::test::TempDir m_dir;
};

TEST_F(HostCapture, Mpeg4StreamDecodesInFfmpegWithTheReportedFrameCount) {
    const auto file = Dir() / "capture.m4v";
    const CommandResult capture = Capture("--stream mpeg --width 704 --height 576 --fps 25 --frames 30 --out " + Quote(file));
    ASSERT_EQ(capture.status, 0) << capture.output;
    EXPECT_EQ(CapturedFrames(capture.output), 30) << capture.output;

    const CommandResult decode = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
    EXPECT_EQ(Probe("", file), "mpeg4,704,576,30");
}

TEST_F(HostCapture, MjpegFileAndJpegFolderDecodeInFfmpeg) {
    const auto file = Dir() / "capture.mjpeg";
    CommandResult capture = Capture("--stream mjpeg --standard ntsc --width 704 --frames 12 --out " + Quote(file));
    ASSERT_EQ(capture.status, 0) << capture.output;
    EXPECT_EQ(CapturedFrames(capture.output), 12);
    const CommandResult decode = RunCommand("ffmpeg -nostdin -v error -f mjpeg -i " + Quote(file) + " -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
    EXPECT_EQ(Probe("-f mjpeg", file), "mjpeg,704,480,12");

    const auto folder = Dir() / "pictures";
    capture = Capture("--stream mjpeg --width 160 --frames 5 --out " + Quote(folder));
    ASSERT_EQ(capture.status, 0) << capture.output;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++files;
        EXPECT_EQ(Probe("", entry.path()), "mjpeg,160,144,1") << entry.path();
    }
    EXPECT_EQ(files, 5u);
}

// --out -: standard output carries the pictures back to back and nothing
// else; every line of text, the summary included, goes to standard error.
TEST_F(HostCapture, StandardOutputCarriesOnlyThePictures) {
    const auto errors = Dir() / "stderr.txt";
    const CommandResult capture = RunCommand(std::string("'") + DARVIK_HOST_PATH + "' --module '" +
                                             DARVIK_MODULE_PATH + "' capture --simulate --width 352 --frames 7 " +
                                             "--out -",
                                             "2>" + Quote(errors));
    std::ifstream file(errors, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(capture.status, 0) << text;
    EXPECT_EQ(CapturedFrames(text), 7) << text;
    EXPECT_NE(text.find("frames offered"), std::string::npos) << text;

    // Each picture runs from FF D8 to the first FF D9 (the simulator's
    // pictures carry no thumbnail).
    const std::string& out = capture.output;
    std::size_t at = 0;
    int pictures = 0;
    while (at < out.size()) {
        ASSERT_EQ(out.compare(at, 2, "\xFF\xD8"), 0) << "picture " << pictures << " at byte " << at;
        const std::size_t end = out.find("\xFF\xD9", at + 2);
        ASSERT_NE(end, std::string::npos) << "picture " << pictures << " has no end";
        at = end + 2;
        ++pictures;
    }
    EXPECT_EQ(pictures, 7);
}

TEST_F(HostCapture, NoFrameMeansAFailingExitStatus) {
    // A loopback port nobody listens on.
    const CommandResult capture = RunCommand(std::string("'") + DARVIK_HOST_PATH + "' --module '" + DARVIK_MODULE_PATH +
                                   "' capture --camera 127.0.0.1:9 --seconds 1 --out " +
                                   Quote(Dir() / "none"));
    EXPECT_NE(capture.status, 0);
    EXPECT_NE(capture.output.find("no frame arrived"), std::string::npos) << capture.output;
}

}  // namespace
