// Settings documents on threads that use COM in either mode (Windows only).
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <future>
#include <thread>

#include "presets/XMLPrepositionReader.h"
#include "settings/TempSettingsDirectory.h"
#include "settings/XMLSettingsAPI.h"

namespace {

using brevane::test::TempSettingsDirectory;

constexpr const char* kFile = "Darvik_0011223344AA.preset";

// Whether the calling thread has COM running (in whichever mode).
bool ThreadHasCom() {
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result)) {
        ::CoUninitialize();
    }
    return result != S_OK;
}

class ComThreads : public ::testing::Test {
   protected:
    TempSettingsDirectory m_dir;
};

// A recorder's window thread lives in a single-threaded apartment: the
// settings are used with COM as the thread has it, and left that way.
TEST_F(ComThreads, ThreadInASingleThreadedApartmentStoresPresets) {
    std::thread([] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        {
            CXMLPrepositionReader reader("Darvik");
            ASSERT_TRUE(reader.Initialize(kFile));
            ASSERT_TRUE(reader.WritePreposition(0, 0, {"T\xFCr", 3}));
            CXMLSettingsAPI settings;
            ASSERT_EQ(settings.Open(kFile), CXMLSettingsAPI::kOk);
            EXPECT_FALSE(settings.ComInitialized());
            ASSERT_TRUE(settings.SetString("1", "Darvik/Value"));
            ASSERT_TRUE(settings.Save());
        }
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        ::CoUninitialize();
    }).join();

    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    PrepositionRecord record;
    ASSERT_TRUE(reader.ReadPreposition(0, 0, record));
    EXPECT_EQ(record.name, "T\xFCr");
    EXPECT_EQ(record.slot, 3);
    CXMLSettingsAPI settings;
    ASSERT_EQ(settings.Open(kFile), CXMLSettingsAPI::kOk);
    EXPECT_EQ(settings.GetString("Darvik/Value"), "1");
}

// COM started for a document is undone on the thread that started it: at
// once when the document closes there, else when that thread next opens or
// closes a document.
TEST_F(ComThreads, ComStartedForADocumentIsUndoneOnItsOwnThread) {
    ASSERT_EQ(CXMLSettingsAPI::CreateDocument("Root", "s.xml"), 1);
    std::thread([] {
        CXMLSettingsAPI settings;
        ASSERT_EQ(settings.Open("s.xml"), CXMLSettingsAPI::kOk);
        EXPECT_TRUE(settings.ComInitialized());
        EXPECT_TRUE(ThreadHasCom());
        settings.Close();
        EXPECT_FALSE(ThreadHasCom());
    }).join();

    CXMLSettingsAPI closedElsewhere;
    std::promise<void> opened;
    std::promise<void> closed;
    std::thread opener([&] {
        ASSERT_EQ(closedElsewhere.Open("s.xml"), CXMLSettingsAPI::kOk);
        opened.set_value();
        closed.get_future().wait();
        EXPECT_TRUE(ThreadHasCom());
        CXMLSettingsAPI next;
        ASSERT_EQ(next.Open("s.xml"), CXMLSettingsAPI::kOk);
        next.Close();
        EXPECT_FALSE(ThreadHasCom());
    });
    opened.get_future().wait();
    EXPECT_EQ(closedElsewhere.Close(), 0);
    closed.set_value();
    opener.join();
}

}  // namespace
