#include "FlagsCommand.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <ostream>

#include "CommandSupport.h"
#include "DBCnx.h"
#include "FlagLookup.h"
#include "JsonValue.h"
#include "MondrelError.h"

namespace {

// The colour of a new flag when the file's colour list is empty: red.
constexpr int32_t FallbackColor = 0x0000FF;

// A colour as stored (0x00BBGGRR) read from "#RRGGBB".
std::optional<int32_t> HexColor(const std::string& text) {
    if (text.size() != 7 || text[0] != '#') {
        return std::nullopt;
    }
    for (size_t i = 1; i < 7; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
    }
    unsigned long rgb = std::stoul(text.substr(1), nullptr, 16);
    unsigned long red = rgb >> 16, green = (rgb >> 8) & 0xFF, blue = rgb & 0xFF;
    return static_cast<int32_t>(red | (green << 8) | (blue << 16));
}

// The colour's name in the file's list, else #RRGGBB; a system colour (high byte set) as its
// stored number in hex.
std::string ColorText(int32_t color, const TDBColors& colors) {
    for (const TDBColor& named : colors) {
        if (named.Value == color) {
            return named.Name;
        }
    }
    auto value = static_cast<uint32_t>(color);
    char text[16];
    if ((value >> 24) != 0) {
        std::snprintf(text, sizeof text, "0x%08X", value);
    } else {
        std::snprintf(text, sizeof text, "#%02X%02X%02X", value & 0xFF, (value >> 8) & 0xFF,
                      (value >> 16) & 0xFF);
    }
    return text;
}

int32_t ColorOption(const TArguments& args, const TDBColors& colors) {
    std::string text = args.Option("color");
    if (std::optional<int32_t> hex = HexColor(text)) {
        return *hex;
    }
    for (const TDBColor& named : colors) {
        if (LowerCase(named.Name) == LowerCase(text)) {
            return named.Value;
        }
    }
    args.Fail("--color '" + text + "' is neither a colour of the file's list nor #RRGGBB");
}

// Captions and variables are compared without regard to case: two flags told apart only by case
// would be one to a reader of the page and of the host's variables.
void RequireUnique(const TFlags& flags, const TFlag& wanted) {
    for (const TFlag& other : flags) {
        if (other.ID == wanted.ID) {
            continue;
        }
        if (LowerCase(other.Caption) == LowerCase(wanted.Caption)) {
            throw EMondrelError("a flag with the caption \"" + Printable(other.Caption) +
                                "\" exists already (ID " + std::to_string(other.ID) + ")");
        }
        if (LowerCase(other.Variable) == LowerCase(wanted.Variable)) {
            throw EMondrelError("the flag \"" + Printable(other.Caption) +
                                "\" has the variable \"" + Printable(other.Variable) +
                                "\" already");
        }
    }
}

std::string NonEmptyOption(const TArguments& args, const std::string& name) {
    std::string text = args.Option(name);
    if (text.empty()) {
        args.Fail("--" + name + " is empty");
    }
    return text;
}

void PrintFlags(const TArguments& args, TToolStreams& streams, const TFlags& flags,
                const TDBColors& colors) {
    if (args.Has("json")) {
        TJsonValue list = TJsonValue::Array();
        for (const TFlag& flag : flags) {
            TJsonValue json = TJsonValue::Object();
            json.Set("id", flag.ID)
                .Set("caption", flag.Caption)
                .Set("variable", flag.Variable)
                .Set("color", ColorText(flag.Color, colors))
                .Set("fixed", flag.isFix != 0);
            list.Append(json);
        }
        TJsonValue::Object().Set("flags", list).Write(streams.Out);
        return;
    }
    std::vector<std::vector<std::string>> rows{{"ID", "Caption", "Variable", "Color", "Fixed"}};
    for (const TFlag& flag : flags) {
        rows.push_back({std::to_string(flag.ID), Printable(flag.Caption), Printable(flag.Variable),
                        Printable(ColorText(flag.Color, colors)), flag.isFix != 0 ? "yes" : "no"});
    }
    PrintTable(streams.Out, rows);
}

int Flags(const TArguments& Args, TToolStreams& Streams) {
    std::string path = Args.Positional("PATH");
    std::string action = Args.Positional("ACTION");
    std::string caption = Args.Positional("CAPTION");
    if (action.empty()) {
        for (const char* option : {"caption", "variable", "color"}) {
            if (Args.Has(option)) {
                Args.Fail("--" + std::string(option) + " needs add or edit");
            }
        }
        RequireDatabaseFile(path);
        auto [flags, colors] = InTransaction(path, [](TDBTransaction& transaction) {
            return std::make_pair(GetFlags(transaction), GetColors(transaction));
        });
        PrintFlags(Args, Streams, flags, colors);
        return 0;
    }
    if (action != "add" && action != "edit" && action != "remove") {
        Args.Fail("unknown action '" + action + "' (expected add, edit or remove)");
    }
    if (caption.empty()) {
        Args.Fail("no CAPTION given");
    }
    if (Args.Has("json")) {
        Args.Fail("--json lists the flags; it does not go with " + action);
    }
    if (action != "edit" && Args.Has("caption")) {
        Args.Fail("--caption goes with edit");
    }
    if (action == "remove" && (Args.Has("variable") || Args.Has("color"))) {
        Args.Fail(std::string("--") + (Args.Has("variable") ? "variable" : "color") +
                  " does not go with remove");
    }
    if (action == "add") {
        Args.Required("variable");
    }
    if (action == "edit" && !Args.Has("caption") && !Args.Has("variable") && !Args.Has("color")) {
        Args.Fail("edit needs --caption, --variable or --color");
    }
    std::optional<std::string> newCaption, variable;
    if (Args.Has("caption")) {
        newCaption = NonEmptyOption(Args, "caption");
    }
    if (Args.Has("variable")) {
        variable = NonEmptyOption(Args, "variable");
    }
    RequireDatabaseFile(path);

    std::string done =
        InTransaction(path, TDBTransaction::AsWriter, [&](TDBTransaction& transaction) {
            TDBColors colors = GetColors(transaction);
            TFlags flags = GetFlags(transaction);
            if (action == "add") {
                TFlag flag{-1, caption, *variable,
                           Args.Has("color") ? ColorOption(Args, colors)
                           : colors.empty()  ? FallbackColor
                                             : colors.front().Value,
                           0};
                RequireUnique(flags, flag);
                AddFlag(transaction, flag.Caption, flag.Variable, flag.Color);
                return "Added the flag \"" + Printable(flag.Caption) + "\" (" +
                       Printable(flag.Variable) + ", " + ColorText(flag.Color, colors) + ")";
            }
            TFlag flag = FlagByCaption(transaction, caption);
            if (action == "remove") {
                if (flag.isFix != 0) {
                    throw EMondrelError("the flag \"" + Printable(flag.Caption) +
                                        "\" is fixed; it comes with the file and stays");
                }
                DeleteFlag(transaction, flag.ID);
                return "Removed the flag \"" + Printable(flag.Caption) + "\" and its day flags";
            }
            flag.Caption = newCaption.value_or(flag.Caption);
            flag.Variable = variable.value_or(flag.Variable);
            if (Args.Has("color")) {
                flag.Color = ColorOption(Args, colors);
            }
            RequireUnique(flags, flag);
            UpdateFlag(transaction, flag);
            return "Changed the flag \"" + Printable(caption) + "\": \"" + Printable(flag.Caption) +
                   "\" (" + Printable(flag.Variable) + ", " + ColorText(flag.Color, colors) + ")";
        });
    Streams.Out << done << '\n';
    // A flag drives nothing until the host knows its variable.
    if (action == "add" || variable) {
        Streams.Out << "The host sets nothing until " << Printable(*variable)
                    << " is declared there: add this line to its variables file (nhx-host "
                       "--variables FILE), or add the variable in its window:\n"
                    << Printable(*variable) << "\tboolean\tfalse\n";
    }
    return 0;
}

}  // namespace

const TCommand FlagsCommand = {
    "flags",
    "flags PATH [--json] | flags PATH add CAPTION --variable NAME [--color NAME|#RRGGBB] | "
    "flags PATH edit CAPTION [--caption TEXT] [--variable NAME] [--color NAME|#RRGGBB] | "
    "flags PATH remove CAPTION",
    {.Positionals = {"PATH"},
     .OptionalPositionals = {"ACTION", "CAPTION"},
     .Options = {"caption", "variable", "color"},
     .Switches = {"json"}},
    Flags,
    {{"add CAPTION", "add a flag; captions and variables are unique, regardless of case"},
     {"edit CAPTION", "change the flag of that caption"},
     {"remove CAPTION", "remove the flag and its day flags; fixed flags stay"},
     {"--variable NAME", "the host variable set on the flag's days (required by add)"},
     {"--color NAME|#RRGGBB",
      "a colour of the file's list (`flags` shows them in use) or #RRGGBB (default for add: the "
      "list's first, Red)"},
     {"--caption TEXT", "edit: the new caption (default: unchanged)"},
     {"--json", "list the flags as one JSON document (default: a table)"}}};
