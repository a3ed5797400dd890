#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/AtomicFile.h"
#include "settings/Latin1.h"
#include "settings/XMLSettingsAPI.h"
#include "settings/TempSettingsDirectory.h"

namespace {

using brevane::test::TempSettingsDirectory;

constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n";

class XMLSettings : public ::testing::Test {
   protected:
    // A new document holding only the root element Root, opened.
    void OpenNew(CXMLSettingsAPI& settings, const char* file = "s.xml") {
        ASSERT_EQ(CXMLSettingsAPI::CreateDocument("Root", file), 1);
        ASSERT_EQ(settings.Open(file), CXMLSettingsAPI::kOk);
    }

    TempSettingsDirectory m_dir;
};

TEST(Latin1, ConvertsBothWaysAndReplacesWhatLatin1CannotHold) {
    const std::string latin1 = "T\xFCr \xA0\xFF\x7F";
    const std::string utf8 = brevane::settings::Latin1ToUtf8(latin1);
    EXPECT_EQ(utf8, "T\xC3\xBCr \xC2\xA0\xC3\xBF\x7F");
    EXPECT_EQ(brevane::settings::Utf8ToLatin1(utf8), latin1);
    // U+20AC (euro sign), a stray continuation byte and a cut sequence.
    EXPECT_EQ(brevane::settings::Utf8ToLatin1("a\xE2\x82\xAC" "b\x80" "c\xC3"), "a?b?c?");
}

TEST_F(XMLSettings, OpenNeedsANonEmptyWellFormedFileAndCountsOpeners) {
    CXMLSettingsAPI settings;
    EXPECT_EQ(settings.Open("missing.xml"), CXMLSettingsAPI::kFail);
    m_dir.Write("empty.xml", "");
    EXPECT_EQ(settings.Open("empty.xml"), CXMLSettingsAPI::kFail);
    m_dir.Write("broken.xml", "<Root><A></Root>");
    EXPECT_EQ(settings.Open("broken.xml"), CXMLSettingsAPI::kFail);
    EXPECT_EQ(settings.OpenCount(), 0);

    ASSERT_EQ(CXMLSettingsAPI::CreateDocument("Root", "empty.xml"), 1);
    EXPECT_EQ(m_dir.Read("empty.xml"), std::string(kDeclaration) + "<Root/>\n");
    ASSERT_EQ(settings.Open("empty.xml"), CXMLSettingsAPI::kOk);
    EXPECT_EQ(settings.FilePath(), m_dir.File("empty.xml"));

    // A second opener shares the first document, whatever name it gives.
    ASSERT_EQ(CXMLSettingsAPI::CreateDocument("Other", "other.xml"), 1);
    EXPECT_EQ(settings.Open("other.xml"), CXMLSettingsAPI::kOk);
    EXPECT_EQ(settings.OpenCount(), 2);
    EXPECT_TRUE(settings.SetString("1", "Root/A"));
    EXPECT_FALSE(settings.SetString("1", "Other/A"));
    EXPECT_EQ(settings.Close(), 1);
    EXPECT_EQ(settings.GetString("Root/A"), "1");
    EXPECT_EQ(settings.Close(), 0);

    // Closed: nothing is touched.
    EXPECT_EQ(settings.Close(), 0);
    EXPECT_FALSE(settings.NodeExists("Root"));
    EXPECT_EQ(settings.GetString("Root/A"), "");
    EXPECT_FALSE(settings.SetString("2", "Root/A"));
    EXPECT_FALSE(settings.CreateNode("Root/B"));
    EXPECT_FALSE(settings.RemoveNode("Root"));
    EXPECT_FALSE(settings.Save());
}

// The file text is the same on every platform: these bytes are what each
// document backend must write.
TEST_F(XMLSettings, SetStringBuildsMissingElementsWithTheirIndentation) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    ASSERT_TRUE(settings.SetString("x", "/Root/A/B"));
    EXPECT_EQ(settings.GetString("Root/A/B"), "x");
    ASSERT_TRUE(settings.SetString("y", "Root/A/C"));
    ASSERT_TRUE(settings.Save());
    // Root: "", A, "\n". A: "\n\t", "\t", B, "\n\t", "\t", C, "\n\t".
    // B and C: "\n\t\t".
    EXPECT_EQ(m_dir.Read("s.xml"), std::string(kDeclaration) +
                                       "<Root><A>\n\t\t<B value=\"x\">\n\t\t</B>\n\t\t<C value=\"y\">\n\t\t</C>\n\t</A>\n"
                                       "</Root>\n");

    // Escapes, ISO-8859-1 text, predicates and a removal between siblings.
    ASSERT_TRUE(settings.SetString("T\xFCr \xA9 <&>\"'\t\n", "Root/A/D[@id=\"1\"][@k='<&>']"));
    ASSERT_TRUE(settings.SetString("z", "Root/E"));
    ASSERT_TRUE(settings.RemoveNode("Root/A/C"));
    ASSERT_TRUE(settings.Save());
    const std::string saved = m_dir.Read("s.xml");
    EXPECT_EQ(saved, std::string(kDeclaration) +
                         "<Root><A>\n\t\t<B value=\"x\">\n\t\t</B>\n\t\t<D id=\"1\" k=\"&lt;&amp;>\" "
                         "value=\"T\xFCr \xA9 &lt;&amp;>&quot;'&#09;&#10;\">\n\t\t</D>\n\t</A>\n<E value=\"z\">\n\t</E>\n"
                         "</Root>\n");

    // The text nodes survive a reload and a save unchanged.
    CXMLSettingsAPI again;
    ASSERT_EQ(again.Open("s.xml"), CXMLSettingsAPI::kOk);
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(m_dir.Read("s.xml"), saved);
}

TEST_F(XMLSettings, ValuesAndPredicates) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    EXPECT_EQ(settings.GetString("Root/Nothing"), "");
    ASSERT_TRUE(settings.CreateNode("Root/Item[@id=\"3\"][@kind='a b']"));
    EXPECT_TRUE(settings.NodeExists("Root/Item[@id=\"3\"][@kind=\"a b\"]"));
    EXPECT_EQ(settings.GetString("Root/Item"), "");  // element without "value"

    // Existing path: nothing changes.
    ASSERT_TRUE(settings.Save());
    const std::string before = m_dir.Read("s.xml");
    EXPECT_TRUE(settings.CreateNode("Root/Item[@id=\"3\"]"));
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(m_dir.Read("s.xml"), before);

    // An empty "value" is replaced, never duplicated; special characters are
    // escaped and read back as given.
    ASSERT_TRUE(settings.SetString("", "Root/Item[@id=\"4\"]"));
    ASSERT_TRUE(settings.SetString("<a&\"b'>", "Root/Item[@id=\"%d\"]", 4));
    EXPECT_EQ(settings.GetString("Root/Item[@id=\"4\"]"), "<a&\"b'>");
    ASSERT_TRUE(settings.Save());
    const std::string text = m_dir.Read("s.xml");
    EXPECT_EQ(text.find("value="), text.rfind("value="));

    EXPECT_TRUE(settings.RemoveNode("Root/Item[@id=\"4\"]/@value"));
    EXPECT_TRUE(settings.NodeExists("Root/Item[@id=\"4\"]"));
    EXPECT_FALSE(settings.NodeExists("Root/Item[@id=\"4\"]/@value"));
    EXPECT_TRUE(settings.RemoveNode("Root/Item[@id=\"3\"]"));
    EXPECT_FALSE(settings.NodeExists("Root/Item[@id=\"3\"]"));
    EXPECT_FALSE(settings.RemoveNode("Root/Item[@id=\"3\"]"));
}

TEST_F(XMLSettings, PathsOutsideTheRootAreRefusedAndBadExpressionsThrow) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    EXPECT_FALSE(settings.SetString("v", "Other/A"));
    EXPECT_FALSE(settings.CreateNode("Lonely"));
    EXPECT_FALSE(settings.CreateNode("/Lonely"));
    EXPECT_THROW(settings.GetString("Root/A["), CXMLSettingsError);
    EXPECT_THROW(settings.NodeExists("Root/%s", "]]"), CXMLSettingsError);
    try {
        settings.CreateNode("Root/1abc");
        ADD_FAILURE() << "an invalid element name was accepted";
    } catch (const CXMLSettingsError& error) {
        EXPECT_EQ(error.GetKind(), CXMLSettingsError::Kind::InvalidName);
    }
    EXPECT_THROW(CXMLSettingsAPI::CreateDocument("no root", "x.xml"), CXMLSettingsError);
    EXPECT_FALSE(m_dir.Exists("x.xml"));
    // A failed creation leaves nothing half built.
    EXPECT_FALSE(settings.NodeExists("Root/*"));
}

TEST_F(XMLSettings, RewritingAnElementRepeatedlyDoesNotGrowTheFile) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    std::size_t size = 0;
    for (int round = 0; round < 3; ++round) {
        settings.RemoveNode("Root/Channel");
        ASSERT_TRUE(settings.SetString("v", "Root/Channel/Record000/Name"));
        ASSERT_TRUE(settings.Save());
        if (round > 0) {
            EXPECT_EQ(m_dir.Read("s.xml").size(), size) << "round " << round;
        }
        size = m_dir.Read("s.xml").size();
    }
}

TEST_F(XMLSettings, LongPathsAreCutTo1023Characters) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    const std::string name(1200, 'N');
    ASSERT_TRUE(settings.SetString("v", "Root/%s", name.c_str()));
    const std::string cut = name.substr(0, CXMLSettingsAPI::kMaxPathLength - 5);
    EXPECT_EQ(settings.GetString("Root/%s", cut.c_str()), "v");
}

TEST_F(XMLSettings, ChangesReachTheFileOnlyThroughSave) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    const std::string before = m_dir.Read("s.xml");
    ASSERT_TRUE(settings.SetString("1", "Root/A"));
    ASSERT_TRUE(settings.CreateNode("Root/B"));
    ASSERT_TRUE(settings.RemoveNode("Root/B"));
    EXPECT_EQ(m_dir.Read("s.xml"), before);
    ASSERT_TRUE(settings.Save());
    EXPECT_NE(m_dir.Read("s.xml").find("<A value=\"1\">"), std::string::npos);
}

#if !defined(_WIN32)
TEST_F(XMLSettings, SaveKeepsTheFileMode) {
    using std::filesystem::perms;
    const perms mode = perms::owner_read | perms::owner_write | perms::others_read;  // no umask gives it
    CXMLSettingsAPI settings;
    OpenNew(settings);
    std::filesystem::permissions(m_dir.File("s.xml"), mode);
    ASSERT_TRUE(settings.SetString("1", "Root/A"));
    ASSERT_TRUE(settings.Save());
    EXPECT_EQ(std::filesystem::status(m_dir.File("s.xml")).permissions(), mode);
}
#endif

TEST_F(XMLSettings, Latin1TextSurvivesSaveAndReloadByteForByte) {
    const std::string door = "T\xFCr";
    {
        CXMLSettingsAPI settings;
        OpenNew(settings);
        ASSERT_TRUE(settings.SetString(door.c_str(), "Root/A"));
        ASSERT_TRUE(settings.Save());
    }
    EXPECT_NE(m_dir.Read("s.xml").find("value=\"" + door + "\""), std::string::npos);
    CXMLSettingsAPI settings;
    ASSERT_EQ(settings.Open("s.xml"), CXMLSettingsAPI::kOk);
    EXPECT_EQ(settings.GetString("Root/A"), door);

    // A document declared as UTF-8 stays UTF-8 on disk.
    m_dir.Write("u.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Root><A value=\"T\xC3\xBCr\"/></Root>\n");
    CXMLSettingsAPI utf8;
    ASSERT_EQ(utf8.Open("u.xml"), CXMLSettingsAPI::kOk);
    EXPECT_EQ(utf8.GetString("Root/A"), door);
    ASSERT_TRUE(utf8.SetString(door.c_str(), "Root/B"));
    ASSERT_TRUE(utf8.Save());
    EXPECT_NE(m_dir.Read("u.xml").find("<B value=\"T\xC3\xBCr\">"), std::string::npos);
}

TEST_F(XMLSettings, FailedSaveThrowsAndLeavesTheFileAndNoLeftovers) {
    CXMLSettingsAPI settings;
    OpenNew(settings);
    ASSERT_TRUE(settings.SetString("1", "Root/A"));
    // A directory in the file's place cannot be replaced by a file.
    std::filesystem::remove(m_dir.File("s.xml"));
    std::filesystem::create_directory(m_dir.File("s.xml"));
    EXPECT_THROW(settings.Save(), CXMLSettingsError);
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.File("s.xml")));
    EXPECT_EQ(m_dir.Listing(), "s.xml ");
}

void CrashBeforeRename(const std::string&) { std::_Exit(3); }

TEST_F(XMLSettings, CrashBetweenTemporaryWriteAndRenameKeepsThePreviousFile) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CXMLSettingsAPI settings;
    OpenNew(settings);
    ASSERT_TRUE(settings.SetString("old", "Root/A"));
    ASSERT_TRUE(settings.Save());
    const std::string before = m_dir.Read("s.xml");
    ASSERT_TRUE(settings.SetString("new", "Root/A"));
    EXPECT_EXIT(
        {
            brevane::settings::SetAtomicWriteHookForTesting(&CrashBeforeRename);
            settings.Save();
        },
        ::testing::ExitedWithCode(3), "");
    EXPECT_EQ(m_dir.Read("s.xml"), before);
    CXMLSettingsAPI reloaded;
    ASSERT_EQ(reloaded.Open("s.xml"), CXMLSettingsAPI::kOk);
    EXPECT_EQ(reloaded.GetString("Root/A"), "old");
}

}  // namespace
