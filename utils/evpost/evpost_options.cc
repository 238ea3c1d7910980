#include "utils/evpost/evpost_options.h"

#include "platform/eventlog/event_record.h"

EvpostParse parse_evpost_arguments(int argc, char** argv, EvpostOptions* options, char* bad) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-') {
      if (options->messages.size() < kEvpostMaxMessages) options->messages.push_back(arg);
      continue;
    }
    switch (arg[1]) {
      case 's':
        // "-s" alone keeps the name in effect.
        if (arg[2] != '\0') options->source = arg + 2;
        break;
      case 't':
        switch (arg[2]) {
          case 'e': options->type = EVENTLOG_ERROR_TYPE; break;
          case 'i': options->type = EVENTLOG_INFORMATION_TYPE; break;
          case 'w': options->type = EVENTLOG_WARNING_TYPE; break;
          default: *bad = arg[2]; return EvpostParse::invalid_type;
        }
        break;
      default: *bad = arg[1]; return EvpostParse::invalid_switch;
    }
  }
  return EvpostParse::ok;
}
