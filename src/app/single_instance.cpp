#include "app/single_instance.h"

#include "app/app_texts.h"
#include "platform/paths.h"

#include <QCryptographicHash>

namespace app {

SingleInstanceLock::SingleInstanceLock(const std::filesystem::path& canonicalConfigDir)
    : path_(lockPathFor(canonicalConfigDir)), lock_(QString::fromStdString(path_.string())) {
    // The resident copy holds the lock for days: only a dead owner makes it stale, never its age.
    lock_.setStaleLockTime(0);
}

SingleInstanceLock::Result SingleInstanceLock::tryAcquire() {
    if (lock_.tryLock(0))
        return Result::Acquired;
    return lock_.error() == QLockFile::LockFailedError ? Result::HeldByAnother : Result::Failed;
}

std::string SingleInstanceLock::errorText() const {
    return "cannot create the lock file " + path_.string();
}

std::filesystem::path SingleInstanceLock::lockPathFor(const std::filesystem::path& canonicalConfigDir) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayView(kResidentCaption.data(), qsizetype(kResidentCaption.size())));
    hash.addData(QByteArrayView("\n", 1));
    const std::string dir = canonicalConfigDir.string();
    hash.addData(QByteArrayView(dir.data(), qsizetype(dir.size())));
    const std::string digest = hash.result().toHex().left(16).toStdString();
    return platform::runtimeFolder() / (std::string(kProgramName) + "-" + digest + ".lock");
}

} // namespace app
