// Keeping the window answering while a run holds its thread: a look at the queue that answers
// what other threads and processes send, and leaves the user's input for after the run.
#pragma once

// Answers every message sent to the thread's windows meanwhile (the system, another process
// asking whether the window still responds) without taking anything out of the queue: clicks
// and keys wait until the run is over. Windows 2000 and XP call a window that has not looked
// at its queue for 5 seconds "not responding" and XP replaces it by a frozen ghost.
void AnswerSentMessages();

// For walks over many entries between two rows: answers sent messages once every
// EntriesPerMessageCheck calls.
void AnswerSentMessagesNowAndThen();
