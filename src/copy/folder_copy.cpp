#include "copy/folder_copy.h"

#include "copy/copy_texts.h"
#include "core/product_folders.h"

#include <filesystem>
#include <string>

namespace copy {
namespace {

struct ProductFolder {
    std::string_view startLine, endLine;
    std::string_view boxTitle, boxHeading;
    std::string source;       // as the product's settings give it
    bool sourceNamed = true;  // false when the source is built on a blank setting
    std::string targetFolder; // the target setting as it stands
};

// The error text of a failed folder copy names the file or folder it concerns: a folder holds many
// files, and the user has to find the one that failed.
std::string errorText(const std::error_code& ec, const std::filesystem::path& failedAt) {
    return failedAt.empty() ? ec.message() : ec.message() + " (" + failedAt.string() + ")";
}

void copyProductFolder(CopyRun& run, const ProductFolder& folder) {
    if (run.stopped())
        return;
    run.log.section(folder.startLine);
    const std::string pieces = std::string(texts::kSourceFolder) + folder.source + std::string(core::kIdeographicSpace);
    if (!folder.sourceNamed || !run.ctx.files.folderExists(folder.source)) {
        run.log.line(resultPrefix(texts::kNotExecuted) + pieces + std::string(texts::kCause) +
                     std::string(texts::kSourceFolderMissing));
        run.fail(core::RunStage::FolderCopy, folder.source, std::string(texts::kSourceFolderMissing));
        run.log.section(folder.endLine);
        return;
    }
    std::filesystem::path failedAt;
    // Flushed before the copy counts as done, once per folder: the target may be a removable medium.
    const std::error_code ec = namesAFolder(folder.targetFolder)
                                   ? run.ctx.files.copyFolder(folder.source, folder.targetFolder + "/",
                                                              platform::Durability::OnMedium, &failedAt)
                                   : std::make_error_code(std::errc::no_such_file_or_directory);
    const std::string line = pieces + std::string(texts::kTargetFolder) + folder.targetFolder;
    if (!ec) {
        run.log.line(resultPrefix(texts::kSuccess) + line);
    } else {
        const std::string error = errorText(ec, failedAt);
        run.log.line(resultPrefix(texts::kFailure) + line);
        core::logErrorDescription(run.log, error);
        run.fail(core::RunStage::FolderCopy, folder.source, error);
        run.ctx.ui.messageBox(failureBoxText(folder.boxHeading, folder.source, folder.targetFolder, error),
                              folder.boxTitle, platform::MsgIcon::Critical);
    }
    run.log.section(folder.endLine);
}

} // namespace

void sbCopyProductFolders(CopyRun& run) {
    const auto& settings = run.settings();
    // Each source is read afresh, right before its copy.
    copyProductFolder(run,
                      {texts::kCertificatesStart, texts::kCertificatesEnd, texts::kCertificatesFailedTitle,
                       texts::kCertificatesFailed, core::certificateSourceFolder(run.ctx), true, settings.keyFileDir});
    copyProductFolder(run,
                      {texts::kDocumentsStart, texts::kDocumentsEnd, texts::kDocumentsFailedTitle,
                       texts::kDocumentsFailed, core::documentsSourceFolder(run.ctx), true, settings.gijyutuFileDir});
    // Without an install folder, "/Wexmarl" would name a folder below the root, not the product's.
    const std::string product = core::productFolder(run.ctx);
    copyProductFolder(run, {texts::kWexmarlStart, texts::kWexmarlEnd, texts::kWexmarlFailedTitle, texts::kWexmarlFailed,
                            product + "/Wexmarl", !product.empty(), settings.gijyutuFileDir});
}

} // namespace copy
