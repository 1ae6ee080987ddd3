// Tells the user that the trusted list could not be saved.
#pragma once

#include "trust/trusted_list.h"

//! The caption of the notice, for whoever looks for it.
extern const char kSaveNoticeCaption[];

//! Shows, on a thread of its own, a message box that says why the list was not
//! saved and in which folder. Returns at once: the ticks go on meanwhile, and
//! Exit ends the program with the box still open.
void ShowSaveNotice(SaveResult failure);
