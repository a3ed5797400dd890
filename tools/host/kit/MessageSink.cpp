#include "kit/MessageSink.h"

namespace darvik::host {

void MessageSink::OnMessage(CDebugInfoIf* message) {
    if (message == nullptr) {
        return;
    }
    Message line;
    line.level = message->GetLevel();
    const char* text = message->GetText();
    line.textWasNull = text == nullptr;
    if (text != nullptr) {
        line.text = text;
    }
    std::function<void(const Message&)> observer;
    {
        brevane::MutexLock lock(m_mutex);
        m_messages.push_back(line);
        observer = m_observer;
    }
    m_arrived.notify_all();
    if (observer) {
        observer(line);
    }
}

std::vector<Message> MessageSink::Messages() const {
    brevane::MutexLock lock(m_mutex);
    return m_messages;
}

std::size_t MessageSink::Count() const {
    brevane::MutexLock lock(m_mutex);
    return m_messages.size();
}

void MessageSink::Clear() {
    brevane::MutexLock lock(m_mutex);
    m_messages.clear();
}

std::vector<Message> MessageSink::Matching(const std::string& part) const {
    brevane::MutexLock lock(m_mutex);
    std::vector<Message> found;
    for (const Message& message : m_messages) {
        if (message.text.find(part) != std::string::npos) {
            found.push_back(message);
        }
    }
    return found;
}

bool MessageSink::WaitFor(const std::string& part, std::chrono::milliseconds timeout) const {
    brevane::UniqueMutexLock lock(m_mutex);
    return m_arrived.wait_for(lock.Native(), timeout, [&]() REQUIRES(m_mutex) {
        for (const Message& message : m_messages) {
            if (message.text.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    });
}

void MessageSink::SetObserver(std::function<void(const Message&)> observer) {
    brevane::MutexLock lock(m_mutex);
    m_observer = std::move(observer);
}

}  // namespace darvik::host
