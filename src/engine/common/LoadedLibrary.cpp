#include "LoadedLibrary.h"

#include <dlfcn.h>

namespace engine::io {

LoadedLibrary::LoadedLibrary(const char *soname, const QString &purpose)
    : m_soname(QString::fromUtf8(soname)), m_purpose(purpose)
{
    // RTLD_LOCAL keeps its symbols (and glib's) out of the lookups of
    // libraries loaded later; RTLD_NOW finds a missing symbol here, not in
    // the middle of reading a file.
    m_handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char *why = dlerror();
        throw EngineError(ErrorKind::Unsupported,
                          QStringLiteral("Die Bibliothek %1 für %2 fehlt oder lässt sich nicht laden (%3). "
                                         "Sie gehört zur Installation des Programms; bitte installieren Sie sie nach.")
                              .arg(m_soname, m_purpose, why ? QString::fromLocal8Bit(why) : QString()));
    }
}

LoadedLibrary::~LoadedLibrary() = default;

void *LoadedLibrary::address(const char *name) const
{
    dlerror();
    void *found = dlsym(m_handle, name);
    if (!found)
        throw EngineError(ErrorKind::Unsupported,
                          QStringLiteral("Der Bibliothek %1 für %2 fehlt die Funktion %3: eine unpassende Version ist installiert.")
                              .arg(m_soname, m_purpose, QString::fromUtf8(name)));
    return found;
}

} // namespace engine::io
