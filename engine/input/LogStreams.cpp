#include "input/LogStreams.h"

#include "input/Decoders.h"
#include "input/FileSource.h"
#include "input/LogKind.h"

namespace kestrin {
namespace {

// Deep enough for a compressed archive whose members are compressed; more is no log.
constexpr int kMostLayers = 4;

// An archive's bytes read once more from its file: the file from an offset, or its
// decompressed text from the start, passed over up to the offset.
class ReadAgain : public ByteSource {
  public:
    void Add(std::unique_ptr<ByteSource> layer) { layers_.push_back(std::move(layer)); }
    ByteSource& Top() { return *layers_.back(); }

    Status Skip(std::int64_t bytes, const StopCheck& stop) {
        std::vector<char> buffer(1 << 20);
        while (bytes > 0) {
            if (Status stopped = stop ? stop() : std::nullopt) return stopped;
            Result<std::size_t> got =
                Top().Read(buffer.data(),
                           std::size_t(std::min<std::int64_t>(bytes, std::int64_t(buffer.size()))));
            if (!got) return got.Failure();
            if (*got == 0) return LogShrank();
            bytes -= std::int64_t(*got);
        }
        return std::nullopt;
    }

    Result<std::size_t> Read(char* into, std::size_t size) override {
        return Top().Read(into, size);
    }
    std::int64_t Consumed() const override { return layers_.back()->Consumed(); }

  private:
    std::vector<std::unique_ptr<ByteSource>> layers_;
};

}  // namespace

LogStreams::LogStreams(PeekedSource& input, const os::File* file, StopCheck stop, bool readAhead)
    : input_(input), file_(file), stop_(std::move(stop)), readAhead_(readAhead) {}

LogStreams::~LogStreams() = default;

Result<ByteSource*> LogStreams::Next() {
    head_ = {};
    ahead_.reset();
    layers_.clear();
    if (archive_) return NextMember();
    if (started_) return static_cast<ByteSource*>(nullptr);
    started_ = true;
    return Resolve(input_, &input_, false);
}

Result<ByteSource*> LogStreams::NextMember() {
    Result<bool> more = archive_->NextMember();
    if (!more) return more.Failure();
    if (!*more) {
        skipped_ += archive_->Skipped();
        for (const std::string& warning : archive_->Warnings()) warnings_.push_back(warning);
        archive_.reset();
        archiveLayers_.clear();
        return static_cast<ByteSource*>(nullptr);
    }
    memberName_ = archive_->MemberName();
    Result<ByteSource*> member = Resolve(archive_->Member(), nullptr, true);
    if (!member) {
        Fault fault = member.Failure();
        fault.detail = memberName_ + ": " + fault.Reason();
        return fault;
    }
    return member;
}

// The archive's bytes from `offset` of its text, read again from its file through
// the same layers: only a file named as such may be read again.
ArchiveAgain LogStreams::Again(std::vector<LogForm> forms) const {
    if (file_ == nullptr) return {};
    return [file = file_, forms = std::move(forms),
            stop = stop_](std::int64_t offset) -> Result<std::unique_ptr<ByteSource>> {
        auto again = std::make_unique<ReadAgain>();
        const std::int64_t start = forms.empty() ? offset : 0;
        again->Add(std::make_unique<RangeSource>(*file, LogRange{start, file->Size()}));
        for (const LogForm form : forms) again->Add(NewDecoder(form, again->Top()));
        if (Status fault = again->Skip(offset - start, stop)) return *fault;
        return std::unique_ptr<ByteSource>(std::move(again));
    };
}

Result<ByteSource*> LogStreams::Resolve(ByteSource& source, PeekedSource* peeked, bool inArchive) {
    ByteSource* layer = &source;
    std::vector<LogForm> forms;
    for (int depth = 0; depth < kMostLayers; ++depth) {
        if (peeked == nullptr) {
            layers_.push_back(std::make_unique<PeekedSource>(*layer, kHeadBytes));
            peeked = static_cast<PeekedSource*>(layers_.back().get());
        }
        if (peeked->Failure()) return *peeked->Failure();
        const LogKind kind = KindOf(peeked->Head());
        if (kind.form == LogForm::Text) {
            head_ = peeked->Head();
            if (!readAhead_ || forms.empty() || inArchive) return static_cast<ByteSource*>(peeked);
            ahead_ = std::make_unique<PipelinedSource>(*peeked);
            return static_cast<ByteSource*>(ahead_.get());
        }
        if (kind.Compressed()) {
            layers_.push_back(NewDecoder(kind.form, *peeked));
            layer = layers_.back().get();
            peeked = nullptr;
            forms.push_back(kind.form);
            continue;
        }
        if (kind.form == LogForm::Unreadable)
            return Fault{0, std::string(kind.name) + " is not read: unpack it first"};
        if (inArchive)
            return Fault{
                0, std::string(kind.name) + " inside an archive is not read: unpack it first"};
        archive_ = std::make_unique<ArchiveReader>(*peeked, kind.form, Again(forms), stop_);
        archiveLayers_ = std::move(layers_);
        layers_.clear();
        return NextMember();
    }
    return Fault{0, "compressed more than " + std::to_string(kMostLayers - 1) + " times over"};
}

}  // namespace kestrin
