#include "GumboLibrary.h"

#include "common/LoadedLibrary.h"

namespace engine {

namespace {

GumboLibrary load()
{
    static const io::LoadedLibrary library(BRISVEL_GUMBO_SONAME, QStringLiteral("HTML-Seiten"));
    GumboLibrary l;
    library.resolve(l.parse_with_options, "gumbo_parse_with_options");
    library.resolve(l.destroy_output, "gumbo_destroy_output");
    library.resolve(l.get_attribute, "gumbo_get_attribute");
    l.defaultOptions = static_cast<const GumboOptions *>(library.address("kGumboDefaultOptions"));
    return l;
}

} // namespace

const GumboLibrary &GumboLibrary::get()
{
    static const GumboLibrary library = load();
    return library;
}

} // namespace engine
