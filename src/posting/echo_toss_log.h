// The tosser's EchoTossLog: the list of echo areas that got new local
// messages, which the tosser's next scan exports without a full scan.
#ifndef KAVEL_POSTING_ECHO_TOSS_LOG_H_
#define KAVEL_POSTING_ECHO_TOSS_LOG_H_

namespace kavel {

struct RunContext;

// After a successful posting into an echo area whose configuration tree
// names an EchoTossLog: appends the area's tag, as the tree spells it, and
// an LF, once per area per run. A log that cannot be written is an error
// line; the posting stands.
void NoteEchoToss(RunContext& ctx);

}  // namespace kavel

#endif  // KAVEL_POSTING_ECHO_TOSS_LOG_H_
