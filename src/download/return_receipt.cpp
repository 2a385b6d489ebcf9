#include "download/return_receipt.h"

#include <string>

#include "run/activity_log.h"

namespace obrix {

bool SendReturnReceipt(Server& server, const Clock& clock, const MessageRecord& delivered) {
  const std::string date = LogDate(clock);
  const std::string time = LogTime(clock);

  MessageRecord receipt;
  receipt.conference = delivered.conference;
  receipt.to = delivered.from;
  receipt.from.id = 0;
  receipt.from.name.Set(kReceiptSender);
  receipt.subject.Set("Return Receipt");
  receipt.isPrivate = kTrue32;
  receipt.reference = delivered.id;

  // One line feed, no carriage return, and no line end after the time.
  const std::string text = "Your message to " + delivered.to.name.Trimmed() + ", regarding " +
                           delivered.subject.Trimmed() + "\n" + "was read on " + date + " at " +
                           time;
  return server.vbAddMessage(receipt, text);
}

}  // namespace obrix
