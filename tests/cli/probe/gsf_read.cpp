// Reads the workbook stream of an .xls through libgsf alone, with glib's
// default logging: shows what the library prints by itself on a damaged file.
#include <gsf/gsf.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    gsf_init();
    GError *error = nullptr;
    GsfInput *input = gsf_input_stdio_new(argv[1], &error);
    if (!input)
        return 1;
    GsfInfile *container = gsf_infile_msole_new(input, &error);
    if (!container)
        return 1;
    GsfInput *stream = gsf_infile_child_by_name(container, "Workbook");
    if (!stream)
        stream = gsf_infile_child_by_name(container, "Book");
    if (!stream)
        return 1;
    guint8 buffer[4096];
    for (gsf_off_t left = gsf_input_size(stream); left > 0;) {
        const size_t n = left > gsf_off_t(sizeof buffer) ? sizeof buffer : size_t(left);
        if (!gsf_input_read(stream, n, buffer))
            return 1;
        left -= gsf_off_t(n);
    }
    return 0;
}
