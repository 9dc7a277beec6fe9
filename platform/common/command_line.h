// The one reader of the programs' command lines: options with a value (a text or an integer
// in a range), flags, `--help`, and at most one argument of their own (a script), checked
// the same way in every program.
//
// An option's value follows it (`--obj FILE`) or is joined to it (`--obj=FILE`). A value
// may not be empty, and may not start with '-', so that a forgotten value does not take
// the next option for a file name (`--obj --ply`): a file whose name starts with '-' is
// written `--obj=./-name`. An integer is read whole within its range (integer_text.h),
// and a negative one may be given. An option given twice, an unknown option and a second
// argument of the program's own are refused. `--help` (or `-h`) anywhere asks for the help.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One option of a program and, after parse_command_line, what was given for it.
struct CommandOption {
    const char* name;        // "--obj"
    const char* value_name;  // "FILE" or "N"; null for a flag
    bool integer = false;    // the value is an integer in low..high
    int64_t low = 0;
    int64_t high = 0;
    bool given = false;
    std::string text;  // the value as given
    int64_t number = 0;
};

// The three kinds of option.
inline CommandOption text_option(const char* name, const char* value_name) {
    CommandOption option{};
    option.name = name;
    option.value_name = value_name;
    return option;
}
inline CommandOption integer_option(const char* name, int64_t low, int64_t high) {
    CommandOption option = text_option(name, "N");
    option.integer = true;
    option.low = low;
    option.high = high;
    return option;
}
inline CommandOption flag_option(const char* name) {
    return text_option(name, nullptr);
}

enum class CommandLineResult { Run, Help, Bad };

// Reads argv[1..argc-1] into `options` and, where `argument_name` is not null ("SCRIPT"),
// the program's own argument into *argument, which must then be given unless
// `argument_optional` (*argument stays empty then). Bad with a sentence naming the offending
// argument (and the range of a number) in *error.
CommandLineResult parse_command_line(int argc, const char* const* argv,
                                     std::vector<CommandOption>* options, const char* argument_name,
                                     std::string* argument, std::string* error,
                                     bool argument_optional = false);

// The option of that name in the list; null when there is none.
const CommandOption* find_option(const std::vector<CommandOption>& options, const char* name);
