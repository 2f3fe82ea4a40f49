#pragma once
// The calls of the gumbo HTML parser the HTML reader makes, opened when a page
// is first read rather than at every start of the program.
#include <gumbo.h>

namespace engine {

struct GumboLibrary {
    decltype(&::gumbo_parse_with_options) parse_with_options;
    decltype(&::gumbo_destroy_output) destroy_output;
    decltype(&::gumbo_get_attribute) get_attribute;
    const GumboOptions *defaultOptions;

    // Opens the library once; throws a German EngineError when it is missing.
    // Safe from any thread.
    static const GumboLibrary &get();
};

} // namespace engine
