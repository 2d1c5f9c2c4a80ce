// The part of the browser driver (platform/drivers/driver.h) that lives in a
// file of its own: the message box.
#pragma once
#include "platform/drivers/driver.h"

// Shows the box on the page and returns at once, unanswered (web_message_box.cpp).
int WebShowMessageBox(const MessageBoxRequest &box);
