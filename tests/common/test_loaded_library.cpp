// Libraries opened on first use: a missing one is a German message that names
// it and what it is for, never a crash; a wrong version is told the same way.
#include "EngineError.h"
#include "common/LoadedLibrary.h"

#include <gtest/gtest.h>

using engine::EngineError;
using engine::ErrorKind;
using engine::io::LoadedLibrary;

TEST(LoadedLibrary, MissingLibraryOrFunctionIsAGermanMessage)
{
    try {
        LoadedLibrary missing("libbrisvel-nonexistent.so.7", QStringLiteral("Excel-Arbeitsmappen"));
        FAIL() << "a library that is not there was opened";
    } catch (const EngineError &e) {
        EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Die Bibliothek libbrisvel-nonexistent.so.7 für Excel-Arbeitsmappen fehlt")))
            << e.message().toStdString();
    }

    // libm is part of every C++ program here, so it opens.
    const LoadedLibrary libm("libm.so.6", QStringLiteral("Rechnen"));
    double (*cosine)(double) = nullptr;
    libm.resolve(cosine, "cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    try {
        libm.address("brisvel_no_such_function");
        FAIL() << "a function that is not there was found";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("brisvel_no_such_function"))) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains(QStringLiteral("libm.so.6")));
    }
}
