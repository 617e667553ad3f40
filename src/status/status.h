#pragma once

#include "status/status_record.h"

#include <optional>
#include <string>
#include <string_view>

// Fills record from a status body (JSON). Members whose value is a string
// are stored under their name; other values are passed over whole. 0 when a
// model_name arrived; 1 otherwise, and on a syntax error, which also leaves
// the record empty.
int status_parse(std::string_view body, StatusRecord& record);

// Clears record, fetches "<ip>/api/v100/status.ssi" (ip bare, without
// scheme) and parses it. 1 when ip is empty or the fetch failed (reported on
// standard error), else the result of status_parse.
int status_fetch(std::string_view ip, StatusRecord& record);

// Empties every field. Returns 0.
int status_record_free(StatusRecord& record);

// The get_status action: prints the controller's model name. 2 when ip is
// missing, else the result of status_fetch.
int action_get_status(const std::optional<std::string>& ip);
