#include "resources/package_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <glib.h>

#include <memory>
#include <string_view>

namespace {

struct ArchiveFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using Archive = std::unique_ptr<archive, ArchiveFree>;

// The data member is read from within the ar archive, as the outer archive hands it out.
la_ssize_t readMember(archive* /*inner*/, void* outer, const void** block)
{
    std::size_t size = 0;
    la_int64_t offset = 0;
    const int status = archive_read_data_block(static_cast<archive*>(outer), block, &size, &offset);
    return status == ARCHIVE_OK ? static_cast<la_ssize_t>(size) : status == ARCHIVE_EOF ? 0 : -1;
}

std::string contentsMd5(archive* reader)
{
    GChecksum* sum = g_checksum_new(G_CHECKSUM_MD5);
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    while (archive_read_data_block(reader, &block, &size, &offset) == ARCHIVE_OK)
        g_checksum_update(sum, static_cast<const guchar*>(block), static_cast<gssize>(size));
    std::string md5 = g_checksum_get_string(sum);
    g_checksum_free(sum);
    return md5;
}

PackageFile::Type typeOf(archive_entry* entry)
{
    if (archive_entry_hardlink(entry))
        return PackageFile::HardLink;
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        return PackageFile::Regular;
    case AE_IFDIR:
        return PackageFile::Directory;
    case AE_IFLNK:
        return PackageFile::Symlink;
    default:
        return PackageFile::Other;
    }
}

// Reads the entries of the data tarball; returns whether it was read to its end.
bool readData(archive* data, bool hashes, std::vector<PackageFile>& files, std::string& refusal)
{
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(data, &entry)) == ARCHIVE_OK) {
        std::string_view name = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
        if (name.find('\n') != std::string_view::npos)
            refusal = "newline not allowed in archive object name";
        name.remove_prefix(name.starts_with("./") ? 2 : name.starts_with('.') ? 1 : 0);
        while (name.ends_with('/'))
            name.remove_suffix(1);
        if (name.empty())
            continue;
        PackageFile file{"/", typeOf(entry), {}, {}};
        file.path.append(name);
        if (file.type == PackageFile::Symlink && archive_entry_symlink(entry))
            file.target = archive_entry_symlink(entry);
        if (file.type == PackageFile::Regular && hashes)
            file.md5 = contentsMd5(data);
        files.push_back(std::move(file));
    }
    return status == ARCHIVE_EOF;
}

// The control file of the control tarball; returns whether there is one.
bool readControl(archive* tarball, std::string& control)
{
    archive_entry* entry = nullptr;
    while (archive_read_next_header(tarball, &entry) == ARCHIVE_OK) {
        const std::string_view name
            = archive_entry_pathname(entry) ? archive_entry_pathname(entry) : "";
        if (name != "./control" && name != "control")
            continue;
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        while (archive_read_data_block(tarball, &block, &size, &offset) == ARCHIVE_OK)
            control.append(static_cast<const char*>(block), size);
        return true;
    }
    return false;
}

}  // namespace

bool readPackageArchive(const std::string& path, std::string& control,
                        const std::function<bool(std::string_view control)>& hashes,
                        std::vector<PackageFile>& files, std::string& refusal)
{
    const Archive outer(archive_read_new());
    archive_read_support_format_ar(outer.get());
    if (archive_read_open_filename(outer.get(), path.c_str(), std::size_t{64} * 1024) != ARCHIVE_OK)
        return false;
    archive_entry* member = nullptr;
    while (archive_read_next_header(outer.get(), &member) == ARCHIVE_OK) {
        const std::string_view name = archive_entry_pathname(member);
        const bool isControl = name.starts_with("control.tar");
        if (!isControl && !name.starts_with("data.tar"))
            continue;
        const Archive inner(archive_read_new());
        archive_read_support_format_tar(inner.get());
        archive_read_support_filter_all(inner.get());
        if (archive_read_open(inner.get(), outer.get(), nullptr, readMember, nullptr) != ARCHIVE_OK)
            return false;
        if (!isControl)
            return readData(inner.get(), hashes(control), files, refusal);
        if (!readControl(inner.get(), control))
            return false;
    }
    return false;
}
