#include "link/ReplyQueue.h"

#include <utility>

namespace core {

bool TReplyQueue::Arrive(std::string text) {
    if (!received_ || (seen_ && pending_.empty())) {
        text_ = std::move(text);
        received_ = true;
        seen_ = false;
        return true;
    }
    // No step has looked at the last reply yet: this one waits its turn.
    bool kept = true;
    if (pending_.size() >= kMaxPending) {
        pending_.pop_front();
        kept = false;
    }
    pending_.push_back(std::move(text));
    return kept;
}

void TReplyQueue::Clear() {
    received_ = false;
    pending_.clear();
}

void TReplyQueue::TakeNext() {
    if ((received_ && !seen_) || pending_.empty()) return;
    text_ = std::move(pending_.front());
    pending_.pop_front();
    received_ = true;
    seen_ = false;
}

void TReplyQueue::StepDone() {
    if (local_) {
        local_ = false;
        seen_ = false;
        pending_.clear();
    } else {
        seen_ = true;
    }
}

void TReplyQueue::AnswerLocally(std::string reply) {
    text_ = std::move(reply);
    received_ = true;
    local_ = true;
}

} // namespace core
