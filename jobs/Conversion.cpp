#include "jobs/Conversion.h"

#include "jobs/StreamCheck.h"
#include "platform/SafeTarget.h"
#include "platform/StringIds.h"
#include "platform/System.h"
#include "streams/StreamFactory.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

// What a message shows for a path: the path, or which switch was missing.
std::string Shown(const std::string& path, const char* sw)
{
    return path.empty() ? std::string("(") + sw + ")" : path;
}

UINT Clamp32(std::uint64_t value)
{
    return value > std::numeric_limits<UINT>::max() ? std::numeric_limits<UINT>::max() : static_cast<UINT>(value);
}

// One conversion under way: its streams report to it, and it shows the
// source's position on the bar.
class CConversion {
public:
    CConversion(const ConversionRequest& request, const FilePosSink& bar) : m_request(request), m_bar(bar) {}

    // The work of Convert: false with the fault when the conversion fails.
    // trailing: the bytes after the source's complete coded data, when it has
    // such (the target is made all the same).
    bool Run(CSafeTarget& out, JobFault& fault, std::string& trailing);
    void ShowPos() { m_bar(m_nFilePos); }
    UINT Pos() const { return m_nFilePos; }
    // A coded source is consumed in proportion to the content it delivered.
    void SetSourcePos(std::uint64_t consumed, std::uint64_t total)
    {
        m_nFilePos = Clamp32(total ? consumed * m_nSourceLength / total : m_nSourceLength);
    }

private:
    static void Report(void* context, UINT /*count*/) { static_cast<CConversion*>(context)->ShowPos(); }
    bool OpenTarget(CCompressedFile& writer, CSafeTarget& out, JobFault& fault);
    // Moves the reader's content into the writer chunk by chunk (the LZSS
    // writer, which codes its data in one call, gets it as one block);
    // delivered counts the bytes the reader delivered.
    bool CopyContent(CCompressedFile& reader, CCompressedFile& writer, UINT& delivered, JobFault& fault);

    const ConversionRequest& m_request;
    const FilePosSink& m_bar;
    std::uint64_t m_nSourceLength = 0;   // bytes of the source file
    UINT m_nFilePos = 0;
};

bool CConversion::Run(CSafeTarget& out, JobFault& fault, std::string& trailing)
{
    const std::string source = m_request.source.Shown();
    const std::string target = m_request.target.Shown();
    // Both streams report to this conversion, on whichever thread it runs.
    const ProgressSink progress {Report, this};
    CSourceStream reader = OpenReader(m_request.source, fault, progress, m_request.plainSource);
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

    std::unique_ptr<CCompressedFile> writer(CreateCompressedFile(nullptr, progress, m_request.method));
    fault = {IDS_ERR_CREATE, Shown(target, "/R:"), writer ? std::string() : std::strerror(ENOMEM)};
    if (!writer || !OpenTarget(*writer, out, fault))
        return false;
    UINT delivered = 0;
    bool intact = true, dataComplete = false;
    JobFault damage;
    if (!CopyContent(*reader, *writer, delivered, fault) || !FileStep(IDS_ERR_READ, source, fault, [&] {
            intact = StreamIntact(*reader, delivered, damage, &dataComplete);
        }))
        return false;
    if (!intact && !dataComplete) {
        fault = {IDS_ERR_DAMAGED, source, damage.cause};
        return false;
    }
    if (!intact)
        trailing = damage.cause;
    std::vector<char> acl;   // the source's access list, carried to the target
    fault = {IDS_ERR_READ, source, {}};
    if (!CSafeTarget::ReadAccessAcl(reader->Handle(), acl, fault.cause))
        return false;
    // The writer's close writes the end code and the header's sizes.
    if (!FileStep(IDS_ERR_WRITE, target, fault, [&] { writer->Close(); }))
        return false;
    fault = {IDS_ERR_CREATE, target, {}};
    // A history job keeps the finished temporary for its group, which forces it
    // to disk and renames it (jobs/GroupSettler.h).
    if (m_request.stage)
        return out.Stage(sourceStat, fault.cause, &acl);
    return out.Commit(sourceStat, m_request.replaceTarget, fault.cause, &acl);
}

bool CConversion::OpenTarget(CCompressedFile& writer, CSafeTarget& out, JobFault& fault)
{
    const FileRef& targetFile = m_request.target;
    const std::string target = targetFile.Shown();
    // A path the caller gave has its folder opened here; a job's folder is open.
    const bool ownFolder = &targetFile.folder == &CFolder::Current();
    if (!(ownFolder ? out.Create(targetFile.name, fault.cause)
                    : out.Create(targetFile.folder, targetFile.name, fault.cause)))
        return false;
    // Opening a coded target already writes its header.
    CFileException error;
    BOOL opened = FALSE;
    if (!FileStep(IDS_ERR_WRITE, target, fault,
                  [&] { opened = writer.Open(out.StreamPath().c_str(), OPEN_CREATE, &error); }))
        return false;
    if (!opened) {
        fault = {IDS_ERR_CREATE, target, error.m_lOsError ? FileErrorCause(error) : std::strerror(ENOMEM)};
        return false;
    }
    return true;
}

bool CConversion::CopyContent(CCompressedFile& reader, CCompressedFile& writer, UINT& delivered, JobFault& fault)
{
    const std::string target = m_request.target.Shown();
    const UINT total = reader.m_nOriginalSize;
    // The LZSS writer gets its data in one block, which grows with the data that
    // arrives, never to a size a source header merely claims.
    const bool oneBlock = m_request.method == METHOD_LZSS;
    std::vector<std::uint8_t> block;
    block.reserve(1);
    const auto write = [&](const std::uint8_t* data, UINT got, UINT done, JobFault& failed) {
        SetSourcePos(done, total);
        if (oneBlock)
            block.insert(block.end(), data, data + got);
        else if (got > 0 && !FileStep(IDS_ERR_WRITE, target, failed, [&] { writer.WriteData(data, got); }))
            return false;
        ShowPos();
        return true;
    };
    // A worker of a history job has the other processors' work beside it; a
    // single file's conversion reads ahead on one of them.
    static const bool spareProcessor = OnlineProcessors() > 1;
    const bool ahead = m_request.readAhead && spareProcessor;
    if (!(ahead ? ReadChunksAhead : ReadChunks)(reader, IDS_ERR_READ, write, delivered, fault))
        return false;
    // An empty source still gets its one call, as a writer expects at least one.
    if (oneBlock ? delivered == total : total == 0)
        return FileStep(IDS_ERR_WRITE, target, fault, [&] { writer.WriteData(block.data(), delivered); });
    return true;
}

}   // namespace

ConversionResult Convert(const ConversionRequest& request, const FilePosSink& bar)
{
    CConversion conversion(request, bar);
    conversion.SetSourcePos(0, 0);
    conversion.ShowPos();

    CSafeTarget out;
    if (request.stage)
        out.DeferFolderSync();   // the history job syncs the folder for many targets
    JobFault fault;
    std::string trailing;
    ConversionResult result;
    if (!FileStep(
            IDS_ERR_CREATE, request.target.Shown(), fault, [&] { result.done = conversion.Run(out, fault, trailing); },
            NoMemory::IsFault))
        result.done = false;
    if (result.done) {
        if (request.stage)   // its group forces it to disk and renames it
            result.staged = std::make_shared<CSafeTarget>(std::move(out));
        if (!trailing.empty())
            result.faults.push_back({IDS_ERR_DAMAGED, request.source.Shown(),
                                     FormatText(IDS_CAUSE_DATA_COMPLETE_IN, {trailing, request.target.Shown()})});
        conversion.SetSourcePos(1, 1);
        result.endPos = conversion.Pos();
        return result;
    }
    // The one failure exit; the streams are closed by now.  The temporary goes
    // (said when it cannot), then the fault is reported or stops the job.
    std::string cause;
    if (!out.Discard(&cause))
        result.faults.push_back({IDS_ERR_TEMP_LEFT, cause, {}});
    result.faults.push_back(fault);
    return result;
}

bool CheckConversion(const FileRef& source, const std::string& target, const CFolder& targetFolder, JobFault& fault)
{
    StreamSummary summary;
    if (!CheckFile(source, true, summary, fault)) {
        fault.file = source.Shown();
        return false;
    }
    if (!targetFolder.Writable()) {
        fault = {IDS_ERR_CREATE, target, std::strerror(errno)};
        return false;
    }
    return true;
}
