#include "GsfLibrary.h"

#include "common/LoadedLibrary.h"

namespace engine {

namespace {

GsfLibrary load()
{
    static const io::LoadedLibrary library(BRISVEL_GSF_SONAME, QStringLiteral("Excel-Arbeitsmappen"));
    GsfLibrary l;
    library.resolve(l.input_stdio_new, "gsf_input_stdio_new");
    library.resolve(l.infile_msole_new, "gsf_infile_msole_new");
    library.resolve(l.infile_num_children, "gsf_infile_num_children");
    library.resolve(l.infile_name_by_index, "gsf_infile_name_by_index");
    library.resolve(l.infile_child_by_index, "gsf_infile_child_by_index");
    library.resolve(l.input_size, "gsf_input_size");
    library.resolve(l.input_read, "gsf_input_read");
    library.resolve(l.output_memory_new, "gsf_output_memory_new");
    library.resolve(l.output_memory_get_bytes, "gsf_output_memory_get_bytes");
    library.resolve(l.outfile_msole_new, "gsf_outfile_msole_new");
    library.resolve(l.outfile_new_child, "gsf_outfile_new_child");
    library.resolve(l.output_write, "gsf_output_write");
    library.resolve(l.output_close, "gsf_output_close");
    library.resolve(l.output_is_closed, "gsf_output_is_closed");
    library.resolve(l.output_size, "gsf_output_size");
    library.resolve(l.object_unref, "g_object_unref");
    library.resolve(l.error_free, "g_error_free");

    decltype(&::gsf_init) init;
    library.resolve(init, "gsf_init");
    init();
    // A damaged container makes libgsf log assertion messages; the caller gets
    // an EngineError that says what is wrong, so they are dropped. Some of its
    // warnings carry no log domain ("Unable to get child[0] for infile ..."),
    // so the default domain is quieted as well.
    decltype(&::g_log_set_handler) setLogHandler;
    library.resolve(setLogHandler, "g_log_set_handler");
    for (const char *domain : {"libgsf:msole", "libgsf", static_cast<const char *>(nullptr)})
        setLogHandler(domain, GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE),
                      [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {}, nullptr);
    return l;
}

} // namespace

const GsfLibrary &GsfLibrary::get()
{
    static const GsfLibrary library = load();
    return library;
}

} // namespace engine
