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
#include "jobs/StreamCheck.h"
#include "jobs/TambleJobs.h"
#include "platform/Folder.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/System.h"
#include "streams/StreamFactory.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// What a message shows for a path: the path, or which switch was missing.
std::string Shown(const std::string& path, const char* sw)
{
    return path.empty() ? std::string("(") + sw + ")" : path;
}

}   // namespace

BOOL CTambleJobs::ConvertFile(const std::string& source, const std::string& target, int method, bool replaceTarget)
{
    // A file to compress holds no coded data that a damaged magic could spoil.
    return ConvertFile(FileRef::Path(source), FileRef::Path(target), method, replaceTarget, method != METHOD_NONE).done
               ? TRUE
               : FALSE;
}

CTambleJobs::Converted CTambleJobs::ConvertFile(const FileRef& source, const FileRef& target, int method,
                                                bool replaceTarget, bool plainSource)
{
    m_nSourceLength = 0;
    SetSourcePos(0, 0);
    ShowFilePos();

    CSafeTarget out;
    if (m_settings.StagesTargets())
        out.DeferFolderSync();   // the history job syncs the folder for many targets
    JobFault fault;
    std::string trailing;
    bool converted = false;
    try {
        converted = Convert(source, target, method, replaceTarget, plainSource, out, fault, trailing);
    } catch (const std::bad_alloc&) {
        fault = {IDS_ERR_CREATE, target.Shown(), std::strerror(ENOMEM)};
    }
    if (converted) {
        Converted result {true, nullptr};
        if (m_settings.StagesTargets())   // its group forces it to disk and renames it
            result.staged = std::make_shared<CSafeTarget>(std::move(out));
        if (!trailing.empty())
            Fail(IDS_ERR_DAMAGED, source.Shown(), FormatText(IDS_CAUSE_DATA_COMPLETE_IN, {trailing, target.Shown()}));
        SetSourcePos(1, 1);
        ShowFilePos();
        return result;
    }
    // The one failure exit; the streams are closed by now.  The temporary goes
    // (said when it cannot), then the fault is reported or stops the job.
    NoteTemporaryLeft(out);
    if (fault.stopsJob)
        throw CJobError(fault);
    Fail(fault.textId, fault.file, fault.cause);
    return {};
}

bool CTambleJobs::Convert(const FileRef& sourceFile, const FileRef& targetFile, int method, bool replaceTarget,
                          bool plainSource, CSafeTarget& out, JobFault& fault, std::string& trailing)
{
    const std::string source = sourceFile.Shown();
    const std::string target = targetFile.Shown();
    // Both streams report to this object's file bar, on whichever thread it runs.
    const ProgressSink progress = FileProgressSink();
    CSourceStream reader = OpenReader(sourceFile, fault, progress, plainSource);
    if (!reader) {
        fault.file = Shown(source, "/S:");
        return false;
    }
    FileInfo sourceStat;
    if (!InfoOf(reader->Handle(), sourceStat)) {
        fault = {IDS_ERR_OPEN_FILE, source, std::strerror(errno)};
        return false;
    }
    m_nSourceLength = sourceStat.size;

    std::unique_ptr<CCompressedFile> writer(CreateCompressedFile(nullptr, progress, method));
    fault = {IDS_ERR_CREATE, Shown(target, "/R:"), writer ? std::string() : std::strerror(ENOMEM)};
    if (!writer)
        return false;
    // A path the caller gave has its folder opened here; a job's folder is open.
    const bool ownFolder = &targetFile.folder == &CFolder::Current();
    if (!(ownFolder ? out.Create(targetFile.name, fault.cause)
                    : out.Create(targetFile.folder, targetFile.name, fault.cause)))
        return false;
    // Opening a coded target already writes its header.
    CFileException error;
    BOOL opened = FALSE;
    if (!FileStep(IDS_ERR_WRITE, target, fault,
                  [&] { opened = writer->Open(out.StreamPath().c_str(), OPEN_CREATE, &error); }))
        return false;
    if (!opened) {
        fault = {IDS_ERR_CREATE, target, error.m_lOsError ? FileErrorCause(error) : std::strerror(ENOMEM)};
        return false;
    }
    UINT delivered = 0;
    bool dataComplete = false;
    if (!CopyContent(*reader, *writer, method, target, delivered, fault)
        || !FileStep(IDS_ERR_READ, source, fault, [&] { trailing = StreamFault(*reader, delivered, &dataComplete); }))
        return false;
    if (!trailing.empty() && !dataComplete) {
        fault = {IDS_ERR_DAMAGED, source, trailing};
        return false;
    }
    std::vector<char> acl;   // the source's access list, carried to the target
    fault = {IDS_ERR_READ, source, {}};
    if (!CSafeTarget::ReadAccessAcl(reader->Handle(), acl, fault.cause))
        return false;
    // The writer's close writes the end code and the header's sizes.
    if (!FileStep(IDS_ERR_WRITE, target, fault, [&] { writer->Close(); }))
        return false;
    fault = {IDS_ERR_CREATE, target, {}};
    // A history job keeps the finished temporary for its group, which forces it
    // to disk and renames it (jobs/FileGroups.cpp).
    if (m_settings.StagesTargets())
        return out.Stage(sourceStat, fault.cause, &acl);
    return out.Commit(sourceStat, replaceTarget, fault.cause, &acl);
}

void CTambleJobs::NoteTemporaryLeft(CSafeTarget& out)
{
    std::string cause;
    if (!out.Discard(&cause))
        Fail(IDS_ERR_TEMP_LEFT, cause);
}

bool CTambleJobs::CopyContent(CCompressedFile& reader, CCompressedFile& writer, int method, const std::string& target,
                              UINT& delivered, JobFault& fault)
{
    const UINT total = reader.m_nOriginalSize;
    // The LZSS writer gets its data in one block, which grows with the data that
    // arrives, never to a size a source header merely claims.
    const bool oneBlock = method == METHOD_LZSS;
    std::vector<std::uint8_t> block;
    block.reserve(1);
    const auto write = [&](const std::uint8_t* data, UINT got, UINT done, JobFault& failed) {
        SetSourcePos(done, total);
        if (oneBlock)
            block.insert(block.end(), data, data + got);
        else if (got > 0 && !FileStep(IDS_ERR_WRITE, target, failed, [&] { writer.WriteData(data, got); }))
            return false;
        ShowFilePos();
        return true;
    };
    // A worker of a history job has the other processors' work beside it; a
    // single file's conversion reads ahead on one of them.
    static const bool spareProcessor = OnlineProcessors() > 1;
    const bool ahead = !m_bWorker && spareProcessor;
    if (!(ahead ? ReadChunksAhead : ReadChunks)(reader, IDS_ERR_READ, write, delivered, fault))
        return false;
    // An empty source still gets its one call, as a writer expects at least one.
    if (oneBlock ? delivered == total : total == 0)
        return FileStep(IDS_ERR_WRITE, target, fault, [&] { writer.WriteData(block.data(), delivered); });
    return true;
}
