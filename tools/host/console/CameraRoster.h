// The cameras of the console while it runs: which are on the wall, adding,
// removing and changing them (each a driver of its own, so a change touches
// no other camera), and the site file that keeps them (see SiteFile.h).
//
// Owned by the console command, which adds the cameras given at the start
// and calls StopAll at the end. The server's connection threads look cameras
// up (Find, All) and make the page's changes (Add, Remove, Change); a camera
// handed out stays alive while a stream still holds it, and its picture
// source is shut down when it leaves the wall. m_mutex guards the list and is
// held only briefly; m_changeMutex puts changes (and so the site file's
// writes) one after the other, and is held while a driver stops or starts.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/ConsoleCamera.h"
#include "console/EventHub.h"
#include "console/SiteFile.h"
#include "core/Mutex.h"

namespace darvik::console {

class CameraRoster {
   public:
    // `defaults`: the port counts and stream settings a new camera starts
    // with. `sitePath`: the site file, or empty for none.
    CameraRoster(std::string modulePath, EventHub& events, CameraSetup defaults, std::string sitePath);
    ~CameraRoster();
    CameraRoster(const CameraRoster&) = delete;
    CameraRoster& operator=(const CameraRoster&) = delete;

    // The answer to a change: the HTTP status and its JSON body.
    struct Outcome {
        unsigned status = 200;
        nlohmann::json body;
    };

    // A camera of the site (kept in the site file) or, with `kept` false,
    // one that lives only while the console runs (a simulated camera).
    // `setup` gives what the entry does not (ntsc, port counts); its id is
    // assigned here. 422 naming the field when the entry is not usable, or
    // when kMaxCameras are on the wall.
    Outcome Add(const SiteEntry& entry, bool kept, std::optional<CameraSetup> setup = std::nullopt);
    // The page's add form: a JSON entry checked field by field.
    Outcome AddFromPage(const nlohmann::json& body);
    // Stops the camera, closes and deletes its driver, and forgets it.
    Outcome Remove(int id);
    // New credentials, label, address or stream type: the camera's driver is
    // made anew with them; a password absent from `body` stays as it was.
    Outcome Change(int id, const nlohmann::json& body);

    std::shared_ptr<ConsoleCamera> Find(int id) const;
    std::vector<std::shared_ptr<ConsoleCamera>> All() const;
    // Every camera's public description (no password), in wall order.
    nlohmann::json Describe() const;
    std::size_t Count() const;
    // Writes the site file as it stands (an absent file is created at the
    // start). False with a reason.
    bool Save(std::string& error);
    // Stops every camera; used when the console ends.
    void StopAll();

   private:
    struct Slot {
        std::shared_ptr<ConsoleCamera> camera;
        SiteEntry entry;
        CameraSetup setup;  // as the camera was made
        bool kept = false;
    };

    CameraSetup SetupFor(const SiteEntry& entry, CameraSetup setup) const;
    bool SaveLocked(std::string& error) REQUIRES(m_changeMutex) EXCLUDES(m_mutex);
    void PublishRoster() EXCLUDES(m_mutex);

    const std::string m_modulePath;
    EventHub& m_events;
    const CameraSetup m_defaults;
    const std::string m_sitePath;

    brevane::Mutex m_changeMutex;  // taken before m_mutex, never after
    int m_nextId GUARDED_BY(m_changeMutex) = 0;
    std::uint64_t m_nextSerial GUARDED_BY(m_changeMutex) = 1;

    mutable brevane::Mutex m_mutex;
    std::map<int, Slot> m_slots GUARDED_BY(m_mutex);  // by id, which is also wall order
};

}  // namespace darvik::console
