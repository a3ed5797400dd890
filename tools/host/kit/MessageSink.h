// Message sink of the reference host: keeps the level and text of every line
// the module delivers, and lets a caller wait for a line.
//
// Owned by the host; OnMessage is called from every thread of the module at
// once, the accessors from any thread. All state is guarded by m_mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Mutex.h"
#include "darvik/CDebugInfoIf.h"
#include "darvik/HostServices.h"

namespace darvik::host {

struct Message {
    int level = 0;
    std::string text;
    bool textWasNull = false;  // GetText answered null
};

class MessageSink final : public brevane::ipcapture::IMessageSink {
    DARVIK_IMPLEMENT_SLOT0(MessageSink)

   public:
    MessageSink() = default;
    ~MessageSink() = default;

    void OnMessage(CDebugInfoIf* message) override;

    std::vector<Message> Messages() const;
    std::size_t Count() const;
    void Clear();
    // Lines whose text contains part.
    std::vector<Message> Matching(const std::string& part) const;
    // Waits until a line containing part has arrived; true when one did.
    bool WaitFor(const std::string& part, std::chrono::milliseconds timeout) const;
    // Called (outside the lock) for each line as it arrives, e.g. to print it.
    void SetObserver(std::function<void(const Message&)> observer);

   private:
    mutable brevane::Mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Message> m_messages GUARDED_BY(m_mutex);
    std::function<void(const Message&)> m_observer GUARDED_BY(m_mutex);
};

}  // namespace darvik::host
