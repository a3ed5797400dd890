#include "http/AuthSchemeTable.h"

namespace Web {

CAuthSchemeTable& CAuthSchemeTable::Instance() {
    // Never destroyed: clients on threads that outlive static destruction
    // may still ask.
    static CAuthSchemeTable* const table = new CAuthSchemeTable;
    return *table;
}

RememberedAuth CAuthSchemeTable::Lookup(const std::string& host, std::uint16_t port) const {
    brevane::MutexLock lock(m_mutex);
    const auto found = m_cameras.find({host, port});
    return found == m_cameras.end() ? RememberedAuth{} : found->second;
}

void CAuthSchemeTable::Remember(const std::string& host, std::uint16_t port, RememberedAuth auth) {
    brevane::MutexLock lock(m_mutex);
    m_cameras[{host, port}] = auth;
}

void CAuthSchemeTable::Clear() {
    brevane::MutexLock lock(m_mutex);
    m_cameras.clear();
}

}  // namespace Web
