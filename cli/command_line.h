// A program's command line over CLI11, with the same messages in every
// program. CLI11 takes the line apart (--option value, --option=value,
// flags); each option's own check takes its value where it stands on the
// line, as the options are applied in that order.
#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kolvane::cli {

// Takes an option's value; false, with *accepted saying what would be, when
// the value is refused.
using Take = std::function<bool(const std::string& value, std::string* accepted)>;

class CommandLine {
 public:
  // `program` starts every message; the help lists the options in `column`.
  CommandLine(std::string program, std::size_t column) : app_("", program) {
    app_.set_help_flag();  // --help is the program's own flag
    app_.allow_extras();   // named by Parse, as the first unknown argument
    app_.get_formatter()->column_width(column);
  }

  // An option with a value.
  CLI::Option* Value(const std::string& name, const std::string& valueName,
                     const std::string& description, Take take) {
    return app_
        .add_option_function<std::string>(
            name,
            [name, take](const std::string& value) {
              std::string accepted;
              if (!take(value, &accepted)) throw CLI::ValidationError(Bad(name, value, accepted));
            },
            description)
        ->type_name(valueName)
        ->trigger_on_parse();
  }

  // An option without a value; `name` may list a short form first ("-h,--help").
  CLI::Option* Flag(const std::string& name, bool* set, const std::string& description) {
    const std::string shown = name.substr(name.find(',') + 1);
    return app_
        .add_option(
            name,
            [shown, set](const CLI::results_t& results) {
              // CLI11 hands a bare flag over as "true", and --flag=VALUE as VALUE.
              if (results.size() != 1 || results.front() != "true") {
                throw CLI::ValidationError(shown + " takes no value (see --help)");
              }
              *set = true;
              return true;
            },
            description)
        ->expected(0)
        ->trigger_on_parse();
  }

  // argv[1..]: "" when every argument is taken, else the line saying what is wrong.
  std::string Parse(const std::vector<std::string>& given) {
    std::vector<std::string> args;  // last first, as CLI11 takes them
    for (auto a = given.rbegin(); a != given.rend(); ++a) {
      // CLI11 reads "--option=" as "--option" alone, and would take the next
      // argument as its value: the empty one is handed over as such.
      const CLI::Option* option =
          a->ends_with('=') ? app_.get_option_no_throw(a->substr(0, a->size() - 1)) : nullptr;
      if (option != nullptr && option->get_items_expected_max() > 0) {
        args.emplace_back();
        args.push_back(a->substr(0, a->size() - 1));
      } else {
        args.push_back(*a);
      }
    }
    try {
      app_.parse(args);
    } catch (const CLI::ValidationError& e) {
      return Message(e.what());
    } catch (const CLI::ArgumentMismatch&) {
      // CLI11 takes whatever follows an option as its value: only the last
      // argument can lack one.
      return Message(given.back() + " needs a value (see --help)");
    } catch (const CLI::ParseError& e) {
      return Message(std::string(e.what()) + " (see --help)");
    }
    return Unknown();
  }

  std::string Help() const { return app_.help(); }
  CLI::App& App() { return app_; }

 private:
  static std::string Bad(const std::string& name, const std::string& value,
                         const std::string& accepted) {
    std::string out = "bad " + name + " '" + value + "'";
    if (!accepted.empty()) out += " (accepted: " + accepted + ")";
    return out;
  }

  std::string Message(const std::string& what) const { return app_.get_name() + ": " + what; }

  // "" when CLI11 left no argument over, else the message naming the first.
  std::string Unknown() const {
    const std::vector<std::string> rest = app_.remaining();
    if (rest.empty()) return "";
    const std::string& first = rest.front();
    return Message((first.starts_with("-") ? "unknown option '" : "unexpected argument '") + first +
                   "' (see --help)");
  }

  CLI::App app_;
};

// A file name: any text but an empty one.
template <typename Out>
Take FileName(Out* out) {
  return [out](const std::string& value, std::string* accepted) {
    *accepted = "a file name";
    if (value.empty()) return false;
    *out = value;
    return true;
  };
}

// --port of the programs that look for the instrument: COMN only.
inline CLI::Option* AddPort(CommandLine& line, std::optional<int>* port) {
  return line.Value("--port", "N", "use COMN only (1..9); without it COM1..COM9 are scanned",
                    [port](const std::string& value, std::string* accepted) {
                      int n = 0;
                      const char* end = value.data() + value.size();
                      const auto r = std::from_chars(value.data(), end, n);
                      *accepted = "1 to 9, for COM1 to COM9";
                      if (value.empty() || r.ec != std::errc() || r.ptr != end || n < 1 || n > 9) {
                        return false;
                      }
                      *port = n;
                      return true;
                    });
}

}  // namespace kolvane::cli
