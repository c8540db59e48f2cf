#include "input/LogStreams.h"

#include "input/Decoders.h"
#include "input/LogKind.h"

namespace kestrin {
namespace {

// Deep enough for a compressed archive whose members are compressed; more is no log.
constexpr int kMostLayers = 4;

}  // namespace

LogStreams::LogStreams(PeekedSource& input, const os::File* file) : input_(input), file_(file) {}

LogStreams::~LogStreams() = default;

Result<ByteSource*> LogStreams::Next() {
    head_ = {};
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

Result<ByteSource*> LogStreams::Resolve(ByteSource& source, PeekedSource* peeked, bool inArchive) {
    ByteSource* layer = &source;
    for (int depth = 0; depth < kMostLayers; ++depth) {
        if (peeked == nullptr) {
            layers_.push_back(std::make_unique<PeekedSource>(*layer, kHeadBytes));
            peeked = static_cast<PeekedSource*>(layers_.back().get());
        }
        if (peeked->Failure()) return *peeked->Failure();
        const LogKind kind = KindOf(peeked->Head());
        if (kind.form == LogForm::Text) {
            head_ = peeked->Head();
            return static_cast<ByteSource*>(peeked);
        }
        if (kind.Compressed()) {
            layers_.push_back(NewDecoder(kind.form, *peeked));
            layer = layers_.back().get();
            peeked = nullptr;
            continue;
        }
        if (kind.form == LogForm::Unreadable)
            return Fault{0, std::string(kind.name) + " is not read: unpack it first"};
        if (inArchive)
            return Fault{
                0, std::string(kind.name) + " inside an archive is not read: unpack it first"};
        // The archive's own file may be sought in only while nothing lies between.
        archive_ = std::make_unique<ArchiveReader>(*peeked, depth == 0 ? file_ : nullptr);
        archiveLayers_ = std::move(layers_);
        layers_.clear();
        return NextMember();
    }
    return Fault{0, "compressed more than " + std::to_string(kMostLayers - 1) + " times over"};
}

}  // namespace kestrin
