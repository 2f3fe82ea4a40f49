#pragma once
// Version resources for tests: none at all, one that cannot be read, and one
// that counts how often it is read.
#include "VersionResource.h"

namespace versiontest {

class EmptyResource : public version::VersionResourceReader {
public:
    quint32 size() const override { return 0; }
    bool load() override { return true; }
    std::optional<QByteArray> query(const QString &) const override { return QByteArray("x", 2); }
};

class UnreadableResource : public version::VersionResourceReader {
public:
    quint32 size() const override { return 1024; }
    bool load() override { return false; }
    std::optional<QByteArray> query(const QString &) const override { return QByteArray("x", 2); }
};

// A resource with the given fixed part, translations and string tables that
// counts its loads.
class CountingResource : public version::DataVersionResource {
public:
    using DataVersionResource::DataVersionResource;
    bool load() override
    {
        ++loads;
        return DataVersionResource::load();
    }
    int loads = 0;
};

// German/1252 with FileVersion and a few other strings.
inline version::VersionResourceData germanResource(const QString &fileVersion, quint32 flags = 0)
{
    version::VersionResourceData data;
    data.fixed = version::fixedPart(2, 1, 0, 318, flags);
    data.translations = {{0x0407, 0x04E4}};
    data.tables = {{QStringLiteral("040704E4"),
                    {{QStringLiteral("CompanyName"), QStringLiteral("Halvorin")},
                     {QStringLiteral("FileVersion"), fileVersion},
                     {QStringLiteral("ProductVersion"), QStringLiteral("2.1.0.318")},
                     {QStringLiteral("Comments"), QString()}}}};
    return data;
}

} // namespace versiontest
