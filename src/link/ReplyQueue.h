#pragma once
// The reply a step looks at, and the replies waiting behind it. A unit that answers faster
// than the tick loses none of them; a reply a step has seen and left standing is replaced by
// the next one; a step may answer itself, and its own reply comes before anything the unit
// sent meanwhile.
#include <cstddef>
#include <deque>
#include <string>

namespace core {

class TReplyQueue {
  public:
    static constexpr std::size_t kMaxPending = 1024;

    // A reply from the unit. False when the queue was full and its oldest reply was dropped.
    bool Arrive(std::string text);
    // A command went out: nothing that came before it is its answer.
    void Clear();
    // Before a step: a waiting reply takes the place of one already dealt with.
    void TakeNext();
    // After a step: it has seen the reply, or its own reply replaces everything waiting.
    void StepDone();
    // The step's own reply, answered without the unit: the next step takes it.
    void AnswerLocally(std::string reply);

    bool Received() const { return received_; }
    void Consume() { received_ = false; }
    const std::string& Text() const { return text_; }
    std::size_t Waiting() const { return pending_.size(); }

  private:
    bool received_ = false;
    bool seen_ = false;
    bool local_ = false;
    std::string text_;
    std::deque<std::string> pending_;
};

} // namespace core
