#pragma once
// A shared library opened on first use rather than by the dynamic loader at the
// program's start. The Excel reader's container library (libgsf with gio and
// libxml2) and the HTML parser (gumbo) cost every start their relocations,
// though most sessions open neither kind; the drivers load them when a table
// of their kind is read or written.
#include "EngineError.h"

#include <QString>

namespace engine::io {

class LoadedLibrary {
public:
    // soname: the name the dynamic loader finds ("libgumbo.so.1"); purpose: what
    // it is needed for, in German, for the message when it is missing.
    LoadedLibrary(const char *soname, const QString &purpose);
    ~LoadedLibrary(); // the library stays loaded: its objects may outlive us
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    // The address of a function or variable of the library, or of a library it
    // depends on. Throws when it is not there (another version of the library).
    void *address(const char *name) const;
    template <typename T> void resolve(T &target, const char *name) const
    {
        target = reinterpret_cast<T>(address(name));
    }

private:
    QString m_soname;
    QString m_purpose;
    void *m_handle = nullptr;
};

} // namespace engine::io
