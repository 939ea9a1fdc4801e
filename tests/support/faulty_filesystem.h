#pragma once
// A file system for tests that works on real files through the real one but fails chosen
// operations on demand: the faults the kernel will not produce for a test run as root (an I/O
// error while a folder is read, a deletion refused, a medium full part-way through a copy, a
// failed flush or rename). A medium that fills up for every file alike is better made with
// file_size_limit.h, where the kernel itself stops the writes. A failed copy leaves the target as the real copy does:
// the partial data is written under the copy's temporary name and removed again, the old target untouched.

#include "platform/local_filesystem.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

enum class FsOp { List, Stat, Delete, CreateFolder, Copy, CopyFolder, Append };

// Where in a file copy the fault strikes.
enum class CopyStep { Data, Flush, Rename };

class FaultyFileSystem : public platform::FileSystem {
public:
    // `op` on any path ending in `pathEnd` fails with `error`. A listing fails after handing out
    // its first `after` entries; a file copy fails after `after` bytes of data at CopyStep::Data;
    // a folder copy names target/<folder>/`failedBelow` as where it failed.
    void fail(FsOp op, std::string pathEnd, std::errc error, std::uintmax_t after = 0, CopyStep step = CopyStep::Data,
              std::string failedBelow = {}) {
        faults_.push_back({op, std::move(pathEnd), error, after, step, std::move(failedBelow)});
    }

    bool folderExists(const std::filesystem::path& p) const override { return real_.folderExists(p); }
    bool fileExists(const std::filesystem::path& p) const override { return real_.fileExists(p); }
    bool exists(const std::filesystem::path& p) const override { return real_.exists(p); }
    bool isReadOnly(const std::filesystem::path& p) const override { return real_.isReadOnly(p); }

    std::error_code createFolder(const std::filesystem::path& p) const override {
        if (const Fault* f = find(FsOp::CreateFolder, p.string()))
            return std::make_error_code(f->error);
        return real_.createFolder(p);
    }

    std::optional<platform::LocalTime> lastModified(const std::string& p, std::error_code& ec) const override {
        if (const Fault* f = find(FsOp::Stat, p)) {
            ec = std::make_error_code(f->error);
            return std::nullopt;
        }
        return real_.lastModified(p, ec);
    }
    std::optional<platform::LocalTime> creationTime(const std::filesystem::path& p) const override {
        return find(FsOp::Stat, p.string()) ? std::nullopt : real_.creationTime(p);
    }
    std::error_code setLastModified(const std::filesystem::path& p, platform::LocalTime t) const override {
        return real_.setLastModified(p, t);
    }

    std::error_code copyFile(const std::filesystem::path& source, const std::filesystem::path& target,
                             platform::Durability durability = platform::Durability::Cached) const override {
        if (!real_.fileExists(source) || real_.isReadOnly(target))
            return real_.copyFile(source, target, durability); // the real refusals come first
        const std::uintmax_t size = std::filesystem::file_size(source);
        if (const Fault* f = find(FsOp::Copy, target.string()))
            return failedCopy(source, target, f->step == CopyStep::Data ? std::min(f->after, size) : size, f->error);
        return real_.copyFile(source, target, durability);
    }

    std::error_code copyFolder(const std::filesystem::path& source, const std::filesystem::path& targetParent,
                               platform::Durability durability = platform::Durability::Cached,
                               std::filesystem::path* failedAt = nullptr) const override {
        const Fault* f = find(FsOp::CopyFolder, source.string());
        if (!f)
            return real_.copyFolder(source, targetParent, durability, failedAt);
        if (failedAt)
            *failedAt = targetParent / platform::folderCopyName(source) / f->failedBelow;
        return std::make_error_code(f->error);
    }

    std::error_code appendToFile(const std::filesystem::path& p, std::string_view bytes) const override {
        if (const Fault* f = find(FsOp::Append, p.string()))
            return std::make_error_code(f->error);
        return real_.appendToFile(p, bytes);
    }
    std::error_code deleteFile(const std::filesystem::path& p) const override {
        if (const Fault* f = find(FsOp::Delete, p.string()))
            return std::make_error_code(f->error);
        return real_.deleteFile(p);
    }
    std::error_code deleteFolder(const std::filesystem::path& p) const override {
        if (const Fault* f = find(FsOp::Delete, p.string()))
            return std::make_error_code(f->error);
        return real_.deleteFolder(p);
    }

    std::vector<platform::DirEntry> list(const std::filesystem::path& folder, std::string_view pattern,
                                         platform::EntryKinds kinds, std::error_code& ec) const override {
        return cutListing(folder, real_.list(folder, pattern, kinds, ec), ec);
    }
    std::vector<platform::DirEntry> listWithTimes(const std::filesystem::path& folder, std::string_view filePattern,
                                                  std::error_code& ec) const override {
        auto entries = cutListing(folder, real_.listWithTimes(folder, filePattern, ec), ec);
        std::string prefix = folder.string();
        if (!prefix.ends_with('/'))
            prefix += '/';
        for (auto& e : entries)
            if (!e.isFolder && find(FsOp::Stat, prefix + e.name))
                e.modified.reset();
        return entries;
    }

private:
    struct Fault {
        FsOp op;
        std::string pathEnd;
        std::errc error;
        std::uintmax_t after;
        CopyStep step;
        std::string failedBelow;
    };

    const Fault* find(FsOp op, const std::string& path) const {
        std::string p = path;
        while (p.size() > 1 && p.ends_with('/'))
            p.pop_back();
        const auto it = std::find_if(faults_.begin(), faults_.end(),
                                     [&](const Fault& f) { return f.op == op && p.ends_with(f.pathEnd); });
        return it == faults_.end() ? nullptr : &*it;
    }

    std::vector<platform::DirEntry> cutListing(const std::filesystem::path& folder,
                                               std::vector<platform::DirEntry> entries, std::error_code& ec) const {
        if (const Fault* f = find(FsOp::List, folder.string())) {
            entries.resize(std::min<std::size_t>(entries.size(), f->after));
            ec = std::make_error_code(f->error);
        }
        return entries;
    }

    // What the real copy leaves when it fails after `bytes` bytes: its temporary file held that
    // much and was removed; the target is as it was.
    static std::error_code failedCopy(const std::filesystem::path& source, const std::filesystem::path& target,
                                      std::uintmax_t bytes, std::errc error) {
        std::string temporary = platform::copyTemporaryPath(target.string());
        temporary.replace(temporary.size() - 6, 6, "Faulty");
        std::ifstream in(source, std::ios::binary);
        std::string data(bytes, '\0');
        in.read(data.data(), std::streamsize(bytes));
        std::ofstream(temporary, std::ios::binary).write(data.data(), in.gcount());
        std::filesystem::remove(temporary);
        return std::make_error_code(error);
    }

    platform::LocalFileSystem real_;
    std::vector<Fault> faults_;
};

} // namespace testsupport
