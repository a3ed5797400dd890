#include "http/AuthSchemeTable.h"

namespace Web {

CAuthSchemeTable& CAuthSchemeTable::Instance() {
    // An ordinary static, so unloading the module frees what it remembered
    // (a host that loads and unloads the module would otherwise lose it each
    // time). The host stops the module's threads before it unloads it.
    static CAuthSchemeTable table;
    return table;
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
