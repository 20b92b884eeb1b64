#include "cli/StoreJournal.h"

#include <utility>

namespace cli {

namespace {

class TStoreJournal final : public TRunJournal {
  public:
    TStoreJournal(store::TJournalOptions options, const core::TClock& clock,
                  store::TJournal::TNote note)
        : backsUp_(options.backups),
          journal_(std::move(options), clock, std::move(note), [this](const std::string& why) {
              failure_ = why;
              return false;
          }) {}

    void Attach(const core::TConversation& conversation) override { journal_.Attach(conversation); }
    bool BeforeFirstWrite(core::TRunKind kind) override {
        failure_.reset();
        return journal_.BeforeFirstWrite(kind);
    }
    void RunEnded(core::TRunKind kind, core::TRunEnd end) override { journal_.RunEnded(kind, end); }
    bool BacksUp() const override { return backsUp_; }
    const std::string& LastBackup() const override { return journal_.LastBackup(); }
    const std::string& LastError() const override { return journal_.LastError(); }
    bool RecordLost() const override { return !journal_.RecordError().empty(); }
    std::optional<std::string> TakeBackupFailure() override { return std::exchange(failure_, {}); }

  private:
    const bool backsUp_;
    std::optional<std::string> failure_;
    store::TJournal journal_;
};

} // namespace

std::unique_ptr<TRunJournal> StoreJournal(store::TJournalOptions options, const core::TClock& clock,
                                          store::TJournal::TNote note) {
    return std::make_unique<TStoreJournal>(std::move(options), clock, std::move(note));
}

} // namespace cli
