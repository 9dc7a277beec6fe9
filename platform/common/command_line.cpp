// Command lines: options, values and the program's own argument.
#include "platform/common/command_line.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/common/integer_text.h"

namespace {

constexpr size_t MAX_QUOTED_BYTES = 60;

// An argument in quotes for a message, at most MAX_QUOTED_BYTES of it, any byte beyond
// printable ASCII as \xNN.
std::string quoted(std::string_view text) {
    std::string result = "'";
    for (unsigned char byte : text.substr(0, MAX_QUOTED_BYTES)) {
        if (byte >= 0x20 && byte < 0x7F) {
            result += char(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(byte));
            result += escaped;
        }
    }
    return result + (text.size() > MAX_QUOTED_BYTES ? "...'" : "'");
}

bool is_help(std::string_view argument) {
    return argument == "--help" || argument == "-h";
}

// What a value-taking option expects, for its messages.
std::string expects(const CommandOption& option) {
    if (option.integer)
        return std::string(option.name) + " expects an integer " +
               integer_range(option.low, option.high);
    return std::string(option.name) + " expects " + option.value_name;
}

// Takes `value` for `option`; false with the reason.
bool take_value(CommandOption* option, std::string_view value, std::string* error) {
    if (option->integer) {
        if (!parse_integer(value, option->low, option->high, &option->number)) {
            *error = expects(*option) + ", got " + quoted(value);
            return false;
        }
    } else if (value.empty() || value[0] == '-') {
        *error = expects(*option) + ", got " + quoted(value) +
                 (value.empty() ? ""
                                : " (a name starting with '-' is written " +
                                      std::string(option->name) + "=./" + std::string(value) + ")");
        return false;
    }
    option->text = value;
    option->given = true;
    return true;
}

}  // namespace

CommandLineResult parse_command_line(int argc, const char* const* argv,
                                     std::vector<CommandOption>* options, const char* argument_name,
                                     std::string* argument, std::string* error,
                                     bool argument_optional) {
    // A value never starts with '-', so `--help` is never one.
    for (int i = 1; i < argc; ++i)
        if (is_help(argv[i])) return CommandLineResult::Help;
    bool argument_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word.empty() || word[0] != '-') {
            if (argument_name == nullptr || argument_given) {
                *error = "unexpected argument " + quoted(word);
                return CommandLineResult::Bad;
            }
            *argument = word;
            argument_given = true;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        CommandOption* option = nullptr;
        for (CommandOption& candidate : *options)
            if (name == candidate.name) option = &candidate;
        if (option == nullptr) {
            *error = "unknown option " + quoted(name);
            return CommandLineResult::Bad;
        }
        if (option->given) {
            *error = std::string(option->name) + " given twice";
            return CommandLineResult::Bad;
        }
        if (option->value_name == nullptr) {
            if (equals != std::string_view::npos) {
                *error = std::string(option->name) + " takes no value";
                return CommandLineResult::Bad;
            }
            option->given = true;
            continue;
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            value = word.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            *error = expects(*option) + " after it";
            return CommandLineResult::Bad;
        }
        if (!take_value(option, value, error)) return CommandLineResult::Bad;
    }
    if (argument_name != nullptr && !argument_given && !argument_optional) {
        *error = std::string("no ") + argument_name + " given";
        return CommandLineResult::Bad;
    }
    return CommandLineResult::Run;
}

const CommandOption* find_option(const std::vector<CommandOption>& options, const char* name) {
    for (const CommandOption& option : options)
        if (std::strcmp(option.name, name) == 0) return &option;
    return nullptr;
}
