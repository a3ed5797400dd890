#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "darvik/IIPPTZ.h"
#include "presets/FakePrepositionComm.h"
#include "presets/PrepositionList.h"
#include "settings/TempSettingsDirectory.h"
#include "settings/XMLSettingsAPI.h"

namespace brevane {
namespace {

using test::FakePrepositionComm;
using test::TempSettingsDirectory;

constexpr const char* kFile = "Darvik_0A0B0C0D0E0F.preset";

TSmartPtr<CXMLPrepositionReader> OpenReader() {
    TSmartPtr<CXMLPrepositionReader> reader(new CXMLPrepositionReader("Darvik"));
    EXPECT_TRUE(reader->Initialize(kFile));
    return reader;
}

std::string Names(CPrepositionList& list) {
    std::string all;
    for (std::int32_t i = 0; i < list.GetCount(); ++i) {
        std::string name;
        EXPECT_TRUE(list.GetName(i, name));
        all += (i == 0 ? "" : ",") + name;
    }
    return all;
}

std::string Current(CPrepositionList& list) {
    std::string name;
    return list.GetCurrentName(name) ? name : "-";
}

class PresetList : public ::testing::Test {
   protected:
    // A list connected to the fake camera, with or without a preset file.
    void Connect(CPrepositionList& list, bool withFile, std::uint32_t capacity = 255) {
        list.SetComm(&m_camera, capacity);
        if (withFile) {
            list.SetStorage(OpenReader());
        }
    }

    TempSettingsDirectory m_dir;
    FakePrepositionComm m_camera;
};

TEST_F(PresetList, SlotsStartAtZeroAndFreedSlotsAreReused) {
    CPrepositionList list(0, true);
    Connect(list, true);
    EXPECT_EQ(list.AddPreposition("Door"), PTZ_OK);
    EXPECT_EQ(list.AddPreposition("Gate"), PTZ_OK);
    EXPECT_EQ(m_camera.TakeCommands(), "save 0 save 1");
    EXPECT_TRUE(list.RemovePreposition("Door"));
    EXPECT_EQ(m_camera.TakeCommands(), "delete 0");
    EXPECT_EQ(list.AddPreposition("Yard"), PTZ_OK);
    EXPECT_EQ(m_camera.TakeCommands(), "save 0");
    EXPECT_EQ(Names(list), "Gate,Yard");

    // The file holds the same list, in list order, for a later session.
    CPrepositionList reloaded(0, true);
    Connect(reloaded, true);
    EXPECT_EQ(Names(reloaded), "Gate,Yard");
    EXPECT_TRUE(reloaded.GotoPreposition("Yard", 0));
    EXPECT_EQ(m_camera.TakeCommands(), "move 0");
}

TEST_F(PresetList, DuplicateNamesAreAllowedAndTheLowerSlotWins) {
    CPrepositionList list(0, false);
    Connect(list, false);
    ASSERT_EQ(list.AddPreposition("Gate"), PTZ_OK);
    ASSERT_EQ(list.AddPreposition("Gate"), PTZ_OK);
    m_camera.TakeCommands();
    list.ResetCurrent();
    EXPECT_TRUE(list.GotoPreposition("Gate", 0));
    EXPECT_EQ(m_camera.TakeCommands(), "move 0");
    EXPECT_EQ(list.GetCount(), 2);
}

TEST_F(PresetList, CapacityIsCountedInListPositions) {
    CPrepositionList list(0, false);
    Connect(list, false, 255);
    for (int i = 0; i < 255; ++i) {
        std::string name = "P";  // not "P" + ...: GCC 12 warns falsely on that (-Wrestrict)
        name += std::to_string(i);
        ASSERT_EQ(list.AddPreposition(name), PTZ_OK);
    }
    m_camera.TakeCommands();
    EXPECT_EQ(list.AddPreposition("Extra"), PTZ_ERR_FULL);
    EXPECT_EQ(m_camera.TakeCommands(), "");
    ASSERT_FALSE(m_camera.FormattedLines().empty());
    EXPECT_EQ(m_camera.FormattedLines().back(),
              "1 brevane::CPrepositionList::AddPreposition: A preposition \"Extra\" cannot be added. Camera "
              "supports saving not more than 255 prepositions.");
}

TEST_F(PresetList, InvalidNamesAreRefusedBeforeTheCamera) {
    CPrepositionList list(0, false);
    Connect(list, false);
    const std::vector<std::string> names = {"a&b", "a!", "<x", "x>", "it's", "\"q\"", "tab\there", "nl\n", "\x1f", ""};
    for (const std::string& name : names) {
        EXPECT_EQ(list.AddPreposition(name), PTZ_ERR_INVALID_ARGUMENT) << name;
    }
    EXPECT_EQ(m_camera.TakeCommands(), "");
    EXPECT_EQ(m_camera.FormattedLines().front(),
              "1 brevane::CPrepositionList::AddPreposition: A preposition \"a&b\" cannot be added - the name is "
              "invalid.");
    // A "%" in a name is logged as it is, never taken as a format.
    EXPECT_EQ(list.AddPreposition("100%s!"), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_NE(m_camera.FormattedLines().back().find("\"100%s!\""), std::string::npos);

    EXPECT_EQ(list.AddPreposition("T\xFCr 100% ok"), PTZ_OK);
    EXPECT_FALSE(list.RemovePreposition(""));
    EXPECT_FALSE(list.GotoPreposition("", 0));
    EXPECT_FALSE(list.GotoPreposition("Nowhere", 0));
    EXPECT_FALSE(list.RemovePreposition("Nowhere"));
}

TEST_F(PresetList, GotoIsSkippedWhileTheCameraIsKnownToBeThere) {
    CPrepositionList list(0, false);
    Connect(list, false);
    ASSERT_EQ(list.AddPreposition("Door"), PTZ_OK);
    EXPECT_EQ(Current(list), "Door");
    m_camera.TakeCommands();
    EXPECT_TRUE(list.GotoPreposition("Door", 0));
    EXPECT_EQ(m_camera.TakeCommands(), "");
    list.ResetCurrent();  // a manual motion
    EXPECT_EQ(Current(list), "-");
    EXPECT_TRUE(list.GotoPreposition("Door", 0));
    EXPECT_EQ(m_camera.TakeCommands(), "move 0");
    EXPECT_EQ(Current(list), "Door");

    // A refused move keeps what was current.
    ASSERT_EQ(list.AddPreposition("Gate"), PTZ_OK);
    m_camera.refuse = true;
    EXPECT_FALSE(list.GotoPreposition("Door", 0));
    EXPECT_EQ(Current(list), "Gate");
}

TEST_F(PresetList, CameraRefusalsLeaveTheListAsItWas) {
    CPrepositionList list(0, true);
    Connect(list, true);
    ASSERT_EQ(list.AddPreposition("Door"), PTZ_OK);
    m_camera.refuse = true;
    EXPECT_EQ(list.AddPreposition("Gate"), PTZ_ERR_NOT_READY);
    EXPECT_EQ(Names(list), "Door");
    // A deletion the camera refused is reported, and the preset stays.
    EXPECT_FALSE(list.RemovePreposition("Door"));
    EXPECT_EQ(Names(list), "Door");
    EXPECT_EQ(Current(list), "-");

    CPrepositionList disconnected(0, false);
    EXPECT_EQ(disconnected.AddPreposition("Door"), PTZ_ERR_NOT_READY);
    EXPECT_EQ(disconnected.AddPreposition("a&b"), PTZ_ERR_NOT_READY);
}

TEST_F(PresetList, WithoutAFilePresetsLiveInMemoryAndOnTheCamera) {
    CPrepositionList list(0, true);
    Connect(list, false);
    EXPECT_FALSE(list.SetStorage(TSmartPtr<CXMLPrepositionReader>()));
    ASSERT_EQ(list.AddPreposition("Door"), PTZ_ERR_NOT_READY);  // file write fails
    EXPECT_EQ(Names(list), "Door");
    // SaveAll expects the list's lock held; nothing else uses this list.
    EXPECT_FALSE([&]() NO_THREAD_SAFETY_ANALYSIS { return list.SaveAll(); }());
    EXPECT_FALSE(list.RemovePreposition("Door"));  // removed, file not rewritten
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(m_camera.TakeCommands(), "save 0 delete 0");

    CPrepositionList memoryOnly(0, false);
    Connect(memoryOnly, false);
    EXPECT_EQ(memoryOnly.AddPreposition("Door"), PTZ_OK);
    EXPECT_TRUE(memoryOnly.RemovePreposition("Door"));
}

TEST_F(PresetList, PresetsKeptAfterAFailedWriteReachTheFileWithTheNextChange) {
    CPrepositionList list(0, true);
    Connect(list, true);
    ASSERT_EQ(list.AddPreposition("Door"), PTZ_OK);
    // The file's place is taken by a directory: writes fail.
    std::filesystem::remove(m_dir.File(kFile));
    std::filesystem::create_directory(m_dir.File(kFile));
    EXPECT_EQ(list.AddPreposition("Gate"), PTZ_ERR_NOT_READY);
    EXPECT_EQ(Names(list), "Door,Gate");
    std::filesystem::remove(m_dir.File(kFile));
    EXPECT_EQ(list.AddPreposition("Yard"), PTZ_OK);

    CPrepositionList reloaded(0, true);
    Connect(reloaded, true);
    EXPECT_EQ(Names(reloaded), "Door,Gate,Yard");
}

// Writes a file the way a person would lay it out: tabs, line feeds and
// the "value" attributes, records 000 and 002 of channel 1 present.
void WriteHandMadeFile(const TempSettingsDirectory& dir) {
    dir.Write(kFile,
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
              "<Darvik>\n"
              "\t<PtzChannel01>\n"
              "\t\t<Preposition000>\n"
              "\t\t\t<Name value=\"T\xFCr\"/>\n"
              "\t\t\t<Slot value=\"3\"/>\n"
              "\t\t</Preposition000>\n"
              "\t\t<Preposition002>\n"
              "\t\t\t<Name value=\"Gate\"/>\n"
              "\t\t\t<Slot value=\"30\"/>\n"
              "\t\t</Preposition002>\n"
              "\t\t<Preposition255>\n"
              "\t\t\t<Name value=\"Beyond\"/>\n"
              "\t\t\t<Slot value=\"9\"/>\n"
              "\t\t</Preposition255>\n"
              "\t</PtzChannel01>\n"
              "\t<PtzChannel02>\n"
              "\t\t<Preposition000>\n"
              "\t\t\t<Name value=\"Other\"/>\n"
              "\t\t\t<Slot value=\"0\"/>\n"
              "\t\t</Preposition000>\n"
              "\t</PtzChannel02>\n"
              "</Darvik>\n");
}

TEST_F(PresetList, HandMadeFileWithAGapLoadsAndIsRewrittenInOrderOnTheNextAdd) {
    WriteHandMadeFile(m_dir);
    CPrepositionList list(0, true);
    Connect(list, true);
    // Record 255 lies beyond the capacity and is never read.
    EXPECT_EQ(Names(list), "T\xFCr,Gate");
    EXPECT_EQ(Current(list), "-");
    EXPECT_TRUE(m_camera.Lines().empty()) << "a gap is no fault";
    EXPECT_TRUE(list.GotoPreposition("Gate", 0));
    EXPECT_EQ(m_camera.TakeCommands(), "move 30");

    // Adding at position 2 must not overwrite record 002 (Gate).
    ASSERT_EQ(list.AddPreposition("Yard"), PTZ_OK);
    EXPECT_EQ(m_camera.TakeCommands(), "save 0");
    CPrepositionList reloaded(0, true);
    Connect(reloaded, true);
    EXPECT_EQ(Names(reloaded), "T\xFCr,Gate,Yard");
    CPrepositionList channel2(1, true);
    Connect(channel2, true);
    EXPECT_EQ(Names(channel2), "Other");
}

// Sets record `index` of channel 1 to (name, slot text) in the file.
void SetRecord(CXMLSettingsAPI& raw, unsigned index, const char* name, const char* slot) {
    char base[64];
    std::snprintf(base, sizeof(base), "Darvik/PtzChannel01/Preposition%03u/", index);
    ASSERT_TRUE(raw.SetString(name, "%sName", base));
    ASSERT_TRUE(raw.SetString(slot, "%sSlot", base));
}

TEST_F(PresetList, HandEditedRecordsWithBadSlotsAreDroppedAndEveryOtherKept) {
    {
        CXMLSettingsAPI raw;
        ASSERT_EQ(raw.CreateDocument("Darvik", kFile), 1);
        ASSERT_EQ(raw.Open(kFile), CXMLSettingsAPI::kOk);
        SetRecord(raw, 0, "Door", "2");
        SetRecord(raw, 1, "Twice", "2");      // slot taken by Door
        SetRecord(raw, 2, "Minus", "-1");     // would reach the camera as 4294967295
        SetRecord(raw, 3, "Gate", "0");
        SetRecord(raw, 4, "High", "10");      // beyond a camera of 10 presets
        SetRecord(raw, 5, "Word", "seven");   // not a number
        SetRecord(raw, 6, "Last", "9");
        ASSERT_TRUE(raw.Save());
        raw.Close();
    }
    CPrepositionList list(0, true);
    Connect(list, true, 10);
    EXPECT_EQ(Names(list), "Door,Gate,Last");
    const std::vector<std::string> lines = m_camera.FormattedLines();
    ASSERT_EQ(lines.size(), 4u) << ::testing::PrintToString(lines);
    EXPECT_NE(lines[0].find("record 1 of channel 1 of the preset file (\"Twice\") was dropped: slot 2 is taken by "
                            "\"Door\""),
              std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("(\"Minus\") was dropped: slot -1 is outside the camera's 0 to 9"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("(\"High\") was dropped: slot 10 is outside"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("(\"Word\") was dropped: its slot is not a whole number"), std::string::npos) << lines[3];
    for (const auto& line : m_camera.Lines()) {
        EXPECT_EQ(line.level, 1);
    }

    // Only slots the file validly held reach the camera.
    for (const char* name : {"Door", "Gate", "Last", "Twice", "Minus", "High", "Word"}) {
        list.GotoPreposition(name, 0);
    }
    EXPECT_EQ(m_camera.TakeCommands(), "move 2 move 0 move 9");
    // The next change rewrites the channel without the dropped records, and
    // a new preset takes the lowest free slot.
    ASSERT_EQ(list.AddPreposition("Yard"), PTZ_OK);
    EXPECT_EQ(m_camera.TakeCommands(), "save 1");
    m_camera.ClearLines();
    CPrepositionList reloaded(0, true);
    Connect(reloaded, true, 10);
    EXPECT_EQ(Names(reloaded), "Door,Gate,Last,Yard");
    EXPECT_TRUE(m_camera.Lines().empty());
}

TEST_F(PresetList, ControlCharactersInARefusedNameAreEscapedInTheLogLine) {
    CPrepositionList list(0, false);
    Connect(list, false);
    EXPECT_EQ(list.AddPreposition("x\r\n[1] forged"), PTZ_ERR_INVALID_ARGUMENT);
    EXPECT_EQ(list.AddPreposition(std::string("nul\0x", 5)), PTZ_ERR_INVALID_ARGUMENT);
    const std::vector<std::string> lines = m_camera.FormattedLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"x\\x0D\\x0A[1] forged\" cannot be added"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("\"nul\\x00x\""), std::string::npos) << lines[1];
    EXPECT_EQ(m_camera.TakeCommands(), "");
    EXPECT_EQ(list.GetCount(), 0);
}

}  // namespace
}  // namespace brevane
