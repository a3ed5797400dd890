// ComApartment: the calling thread's use of COM for as long as one settings
// document lives (Windows only).
//
// Made on the thread that opens a document: it joins that thread to the
// multithreaded apartment. A thread already in a single-threaded apartment
// (a recorder's window thread, say) refuses that mode; COM is then used as
// the thread has it and nothing is undone later. What was started is undone
// on the thread that started it: at once when the object ends there, else
// the next time that thread makes or ends a ComApartment (a thread that
// never comes back leaves it to COM's own clean-up at thread exit).
//
// Owned by one document; made on one thread and destroyed on any.
#pragma once

#include <memory>

namespace brevane::settings {

class ComApartment {
   public:
    struct Debt;  // calls of CoUninitialize a thread still owes

    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    // COM is usable on the making thread (started here or found running).
    bool Usable() const { return m_usable; }
    // This object started COM on the making thread and owes the undoing.
    bool Started() const { return m_started; }

   private:
    bool m_usable = false;
    bool m_started = false;
    // The making thread's record, for undoing from another thread.
    std::shared_ptr<Debt> m_debt;
};

}  // namespace brevane::settings
