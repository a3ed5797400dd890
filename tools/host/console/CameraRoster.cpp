#include "console/CameraRoster.h"

#include <iostream>
#include <thread>

#include "kit/CameraOptions.h"
#include "kit/NarrowText.h"

namespace darvik::console {

using nlohmann::json;

namespace {

CameraRoster::Outcome Refuse(unsigned status, const std::string& field, const std::string& reason) {
    json body = {{"ok", false}, {"error", field.empty() ? reason : field + ": " + reason}};
    if (!field.empty()) {
        body["field"] = field;
    }
    return {status, body};
}

}  // namespace

CameraRoster::CameraRoster(std::string modulePath, EventHub& events, CameraSetup defaults,
                           std::string sitePath)
    : m_modulePath(std::move(modulePath)),
      m_events(events),
      m_defaults(std::move(defaults)),
      m_sitePath(std::move(sitePath)) {}

CameraRoster::~CameraRoster() { StopAll(); }

CameraSetup CameraRoster::SetupFor(const SiteEntry& entry, CameraSetup setup) const {
    setup.label = entry.label.empty() ? entry.address : entry.label;
    setup.camera = host::CameraOptions{};
    setup.camera.camera = entry.address;
    // The module takes its texts in its narrow encoding; the entry was
    // checked to have one.
    host::Utf8ToNarrow(entry.user, setup.camera.user);
    host::Utf8ToNarrow(entry.password, setup.camera.password);
    setup.stream.mpeg = entry.mpeg;
    return setup;
}

CameraRoster::Outcome CameraRoster::AddFromPage(const json& body) {
    SiteEntry entry;
    FieldError refused;
    if (!ParseSiteEntry(body, entry, refused)) {
        return Refuse(422, refused.field, refused.reason);
    }
    return Add(entry, true);
}

CameraRoster::Outcome CameraRoster::Add(const SiteEntry& entry, bool kept, std::optional<CameraSetup> given) {
    brevane::MutexLock change(m_changeMutex);
    if (Count() >= kMaxCameras) {
        return Refuse(422, "cameras", "a console shows at most " + std::to_string(kMaxCameras) + " cameras");
    }
    CameraSetup setup = SetupFor(entry, given.value_or(m_defaults));
    std::string error;
    if (!host::Resolve(setup.camera, error)) {
        return Refuse(422, "address", error);
    }
    setup.id = m_nextId++;
    setup.serial = m_nextSerial++;
    auto camera = std::make_shared<ConsoleCamera>(m_modulePath, setup, m_events);
    {
        brevane::MutexLock lock(m_mutex);
        m_slots[setup.id] = Slot{camera, entry, setup, kept};
    }
    const bool saved = !kept || SaveLocked(error);
    if (!saved || !camera->Start(error)) {
        {
            brevane::MutexLock lock(m_mutex);
            m_slots.erase(setup.id);
        }
        camera->Stop();
        m_events.Forget(setup.id);
        std::string ignored;
        if (saved && kept) {
            SaveLocked(ignored);
        }
        PublishRoster();
        return Refuse(500, "", error);
    }
    PublishRoster();
    return {200, json{{"ok", true}, {"camera", setup.id}}};
}

CameraRoster::Outcome CameraRoster::Remove(int id) {
    brevane::MutexLock change(m_changeMutex);
    Slot slot;
    {
        brevane::MutexLock lock(m_mutex);
        const auto found = m_slots.find(id);
        if (found == m_slots.end()) {
            return Refuse(404, "", "no such camera");
        }
        slot = std::move(found->second);
        m_slots.erase(found);
    }
    std::string error;
    const bool saved = !slot.kept || SaveLocked(error);
    // The worker closes the driver and deletes it before Stop returns.
    slot.camera->Stop();
    m_events.Forget(id);
    PublishRoster();
    std::cout << "camera " << id << " removed; its driver is closed and deleted" << std::endl;
    if (!saved) {
        return Refuse(500, "", "the camera is removed, but " + error);
    }
    return {200, json{{"ok", true}}};
}

CameraRoster::Outcome CameraRoster::Change(int id, const json& body) {
    brevane::MutexLock change(m_changeMutex);
    Slot slot;
    {
        brevane::MutexLock lock(m_mutex);
        const auto found = m_slots.find(id);
        if (found == m_slots.end()) {
            return Refuse(404, "", "no such camera");
        }
        slot = found->second;
    }
    SiteEntry entry = slot.entry;
    FieldError refused;
    if (!ChangeSiteEntry(body, entry, refused)) {
        return Refuse(422, refused.field, refused.reason);
    }
    CameraSetup setup = SetupFor(entry, slot.setup);
    std::string error;
    if (!host::Resolve(setup.camera, error)) {
        return Refuse(422, "address", error);
    }
    setup.serial = m_nextSerial++;
    // The old driver goes before the new one is made: the two would share
    // the camera's preset file.
    slot.camera->Stop();
    auto camera = std::make_shared<ConsoleCamera>(m_modulePath, setup, m_events);
    {
        brevane::MutexLock lock(m_mutex);
        m_slots[id] = Slot{camera, entry, setup, slot.kept};
    }
    m_events.Forget(id);
    const bool saved = !slot.kept || SaveLocked(error);
    const bool started = camera->Start(error);
    PublishRoster();
    if (!saved || !started) {
        return Refuse(500, "", error);
    }
    return {200, json{{"ok", true}, {"camera", id}}};
}

std::shared_ptr<ConsoleCamera> CameraRoster::Find(int id) const {
    brevane::MutexLock lock(m_mutex);
    const auto found = m_slots.find(id);
    return found == m_slots.end() ? nullptr : found->second.camera;
}

std::vector<std::shared_ptr<ConsoleCamera>> CameraRoster::All() const {
    brevane::MutexLock lock(m_mutex);
    std::vector<std::shared_ptr<ConsoleCamera>> all;
    for (const auto& [id, slot] : m_slots) {
        all.push_back(slot.camera);
    }
    return all;
}

json CameraRoster::Describe() const {
    brevane::MutexLock lock(m_mutex);
    json list = json::array();
    for (const auto& [id, slot] : m_slots) {
        json camera = slot.entry.Public();
        camera["camera"] = id;
        camera["kept"] = slot.kept;
        list.push_back(std::move(camera));
    }
    return list;
}

std::size_t CameraRoster::Count() const {
    brevane::MutexLock lock(m_mutex);
    return m_slots.size();
}

bool CameraRoster::Save(std::string& error) {
    brevane::MutexLock change(m_changeMutex);
    return SaveLocked(error);
}

bool CameraRoster::SaveLocked(std::string& error) {
    if (m_sitePath.empty()) {
        return true;
    }
    std::vector<SiteEntry> entries;
    {
        brevane::MutexLock lock(m_mutex);
        for (const auto& [id, slot] : m_slots) {
            if (slot.kept) {
                entries.push_back(slot.entry);
            }
        }
    }
    return SaveSite(m_sitePath, entries, error);
}

void CameraRoster::PublishRoster() {
    json ids = json::array();
    {
        brevane::MutexLock lock(m_mutex);
        for (const auto& [id, slot] : m_slots) {
            ids.push_back(id);
        }
    }
    m_events.PublishState("roster", -1, json{{"cameras", ids}, {"max", kMaxCameras}}.dump());
}

void CameraRoster::StopAll() {
    brevane::MutexLock change(m_changeMutex);
    std::vector<std::shared_ptr<ConsoleCamera>> cameras = All();
    // Each Stop waits for its driver to close; they close side by side.
    std::vector<std::thread> stopping;
    for (auto& camera : cameras) {
        stopping.emplace_back([camera] { camera->Stop(); });
    }
    for (std::thread& thread : stopping) {
        thread.join();
    }
}

}  // namespace darvik::console
