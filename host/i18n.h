#pragma once
// Translated texts come from the host's message catalogue through glibc.
#include <libintl.h>
#include <locale.h>

#define _(text) dcgettext(nullptr, text, LC_MESSAGES)
