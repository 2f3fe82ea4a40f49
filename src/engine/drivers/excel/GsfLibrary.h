#pragma once
// The calls of libgsf (the OLE2 container of a workbook) the Excel reader and
// writer make. libgsf brings gio and libxml2, so it is opened when a workbook
// is first read or written rather than at every start of the program.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

namespace engine {

struct GsfLibrary {
    decltype(&::gsf_input_stdio_new) input_stdio_new;
    decltype(&::gsf_infile_msole_new) infile_msole_new;
    decltype(&::gsf_infile_num_children) infile_num_children;
    decltype(&::gsf_infile_name_by_index) infile_name_by_index;
    decltype(&::gsf_infile_child_by_index) infile_child_by_index;
    decltype(&::gsf_input_size) input_size;
    decltype(&::gsf_input_read) input_read;
    decltype(&::gsf_output_memory_new) output_memory_new;
    decltype(&::gsf_output_memory_get_bytes) output_memory_get_bytes;
    decltype(&::gsf_outfile_msole_new) outfile_msole_new;
    decltype(&::gsf_outfile_new_child) outfile_new_child;
    decltype(&::gsf_output_write) output_write;
    decltype(&::gsf_output_close) output_close;
    decltype(&::gsf_output_is_closed) output_is_closed;
    decltype(&::gsf_output_size) output_size;
    decltype(&::g_object_unref) object_unref; // from gobject, which libgsf brings
    decltype(&::g_error_free) error_free;

    // Opens and initialises the library once; throws a German EngineError
    // when it is missing. Safe from any thread.
    static const GsfLibrary &get();
};

} // namespace engine
