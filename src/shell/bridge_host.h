#pragma once
// The main process's half of the script bridge. The web extension forwards
// each call of a bridge function as a user message named after the function;
// this side shows the message boxes and the picker, runs the utility and
// replies with the result. Nothing here blocks the main loop: the windows keep
// drawing while a picker is open or the utility runs.

#include <webkit2/webkit2.h>

#include <string>

// Takes over a bridge call. Returns false, leaving the message unanswered,
// when the message names no bridge function.
bool handle_bridge_message(WebKitWebView* view, WebKitUserMessage* message, const std::string& utility);
