// ConvertFile: one file of any method into a file of a given method.
//
// The source is read through a stream of the class its magic names and written
// through a stream of the wanted method into a temporary beside the target,
// chunk by chunk, so memory stays flat whatever the file's size.  The target
// appears only when the source delivered exactly its original size without
// damage and the temporary is complete on disk.  As with trailing bytes after a
// gzip stream, a source whose coded data is whole but followed by other bytes
// still gives its target; the run reports the source and ends with status 1.
#include "jobs/JobError.h"
#include "jobs/SafeTarget.h"
#include "jobs/StreamCheck.h"
#include "jobs/TambleJobs.h"
#include "platform/StringIds.h"
#include "streams/StreamFactory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <vector>

namespace {

// What a message shows for a path: the path, or which switch was missing.
std::string Shown(const std::string& path, const char* sw)
{
    return path.empty() ? std::string("(") + sw + ")" : path;
}

} // namespace

BOOL CTambleJobs::ConvertFile(const std::string& source, const std::string& target, int method,
                              bool replaceTarget)
{
    s_pRunning = this;
    m_nSourceLength = 0;
    SetSourcePos(0, 0);
    ShowFilePos();

    std::string cause;
    bool damaged = false;
    // On a worker the slot already holds the callback (set before the workers
    // start); the factory is not asked to set it again from several threads.
    const ProgressCallback progress = m_bWorker ? nullptr : UpdateFileProgress;
    std::unique_ptr<CCompressedFile> reader = OpenReader(source, cause, progress, &damaged);
    if (!reader) {
        Fail(damaged ? IDS_ERR_DAMAGED : IDS_ERR_OPEN_FILE, Shown(source, "/S:"), cause);
        return FALSE;
    }
    struct stat sourceStat {};
    if (::fstat(reader->Handle(), &sourceStat) != 0) {
        Fail(IDS_ERR_OPEN_FILE, source, std::strerror(errno));
        return FALSE;
    }
    m_nSourceLength = static_cast<std::uint64_t>(sourceStat.st_size);

    std::unique_ptr<CCompressedFile> writer(CreateCompressedFile(nullptr, progress, method));
    if (!writer) {
        Fail(IDS_ERR_CREATE, Shown(target, "/R:"), std::strerror(ENOMEM));
        return FALSE;
    }
    CSafeTarget out;
    if (m_bGroupSync)
        out.DeferFolderSync();   // the history job syncs the folder for many targets
    std::vector<char> acl;   // the source's access list, carried to the target
    if (!out.Create(target, cause)) {
        Fail(IDS_ERR_CREATE, Shown(target, "/R:"), cause);
        return FALSE;
    }

    bool dataComplete = false;
    try {
        // Opening a coded target already writes its header.
        CFileException error;
        if (!writer->Open(out.StreamPath().c_str(), OPEN_CREATE, &error)) {
            writer.reset();
            Fail(IDS_ERR_CREATE, target, error.m_lOsError ? FileErrorCause(error) : std::strerror(ENOMEM));
            NoteTemporaryLeft(out);
            return FALSE;
        }
        const UINT delivered = CopyContent(*reader, *writer, method);
        cause = StreamFault(*reader, delivered, &dataComplete);
        if (!cause.empty() && !dataComplete) {
            writer.reset();
            Fail(IDS_ERR_DAMAGED, source, cause);
            NoteTemporaryLeft(out);
            return FALSE;
        }
        if (!CSafeTarget::ReadAccessAcl(reader->Handle(), acl, cause)) {
            writer.reset();
            Fail(IDS_ERR_READ, source, cause);
            NoteTemporaryLeft(out);
            return FALSE;
        }
        reader->Close();
        writer->Close();   // end code and header sizes
    } catch (const CFileException& failure) {
        const bool reading = failure.m_strFileName == source;
        writer.reset();
        reader.reset();
        const std::string message =
            ComposeMessage(reading ? IDS_ERR_READ : IDS_ERR_WRITE, reading ? source : target, FileErrorCause(failure));
        NoteTemporaryLeft(out);
        // Data beyond what the format can hold fails this file only; any other
        // read or write error stops the job.
        if (failure.m_cause != CFileException::invalidFile)
            throw CJobError(message, 0);
        m_view.Message(message);
        RaiseStatus(1);
        return FALSE;
    } catch (const std::bad_alloc&) {
        writer.reset();
        Fail(IDS_ERR_CREATE, target, std::strerror(ENOMEM));
        NoteTemporaryLeft(out);
        return FALSE;
    }
    const std::string trailing = cause;
    // A history compression keeps the finished temporary for its group to
    // force to disk and rename (jobs/PlainDeletion.cpp).
    if (m_bStageTargets ? !out.Stage(sourceStat, cause, &acl) : !out.Commit(sourceStat, replaceTarget, cause, &acl)) {
        Fail(IDS_ERR_CREATE, target, cause);
        return FALSE;
    }
    if (m_bStageTargets)
        m_pStaged = std::make_shared<CSafeTarget>(std::move(out));
    if (dataComplete)
        Fail(IDS_ERR_DAMAGED, source, FormatText(IDS_CAUSE_DATA_COMPLETE_IN, {trailing, target}));
    SetSourcePos(1, 1);
    ShowFilePos();
    return TRUE;
}

void CTambleJobs::NoteTemporaryLeft(CSafeTarget& out)
{
    std::string cause;
    if (!out.Discard(&cause))
        Fail(IDS_ERR_TEMP_LEFT, cause);
}

UINT CTambleJobs::CopyContent(CCompressedFile& reader, CCompressedFile& writer, int method)
{
    const UINT total = reader.m_nOriginalSize;
    const bool oneBlock = method == METHOD_LZSS;
    const UINT chunk = total < JOB_CHUNK_SIZE ? total : JOB_CHUNK_SIZE;
    // The block for a one-call writer grows with the data that arrives, never to a
    // size a source header merely claims.
    std::vector<std::uint8_t> buffer(std::max<UINT>(chunk, 1));
    UINT delivered = 0;
    while (delivered < total) {
        const UINT want = total - delivered < JOB_CHUNK_SIZE ? total - delivered : JOB_CHUNK_SIZE;
        if (oneBlock && buffer.size() < std::size_t{delivered} + want)
            buffer.resize(std::size_t{delivered} + want);
        std::uint8_t* at = oneBlock ? buffer.data() + delivered : buffer.data();
        const UINT got = reader.Read(at, want);
        delivered += got;
        SetSourcePos(delivered, total);
        if (!oneBlock && got > 0)
            writer.WriteData(at, got);
        ShowFilePos();
        if (got < want)
            break;
    }
    // An empty source still gets its one call, as a writer expects at least one.
    if (oneBlock ? delivered == total : total == 0)
        writer.WriteData(buffer.data(), delivered);
    return delivered;
}
