#include "base/message_check.h"

#include <windows.h>

namespace {

// A look at the queue costs a round trip to the system; one every so many entries keeps a
// walk of thousands of files answering well within a second without slowing it.
const int EntriesPerMessageCheck = 32;

// Constant-initialised: the program has no C runtime to run constructors of globals.
int EntriesSinceCheck = 0;

}  // namespace

void AnswerSentMessages() {
  MSG message;
  // PM_NOREMOVE: sent messages are delivered to their window procedures by the call itself;
  // whatever was posted (input, a second press of Run) stays queued for the message loop.
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  EntriesSinceCheck = 0;
}

void AnswerSentMessagesNowAndThen() {
  if (++EntriesSinceCheck >= EntriesPerMessageCheck) AnswerSentMessages();
}
