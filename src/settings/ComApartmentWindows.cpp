#include "settings/ComApartment.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>

namespace brevane::settings {

struct ComApartment::Debt {
    // Objects that started COM on the owning thread and ended elsewhere.
    std::atomic<unsigned> owed{0};
};

namespace {

// The calling thread's record; it outlives the thread while objects made
// there still hold it.
std::shared_ptr<ComApartment::Debt>& ThreadDebt() {
    thread_local std::shared_ptr<ComApartment::Debt> debt = std::make_shared<ComApartment::Debt>();
    return debt;
}

// Undoes on the calling thread what ended on other threads.
void RepayOnThisThread(ComApartment::Debt& debt) {
    for (unsigned owed = debt.owed.exchange(0); owed != 0; --owed) {
        ::CoUninitialize();
    }
}

}  // namespace

ComApartment::ComApartment() : m_debt(ThreadDebt()) {
    RepayOnThisThread(*m_debt);
    const HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // S_FALSE (already in the multithreaded apartment) counts as a start
    // too: every successful call is paired with CoUninitialize.
    m_started = SUCCEEDED(result);
    m_usable = m_started || result == RPC_E_CHANGED_MODE;
}

ComApartment::~ComApartment() {
    if (!m_started) {
        return;
    }
    if (m_debt == ThreadDebt()) {
        ::CoUninitialize();
        RepayOnThisThread(*m_debt);
    } else {
        m_debt->owed.fetch_add(1);
    }
}

}  // namespace brevane::settings
