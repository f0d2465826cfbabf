#include "cli/Help.h"

#include <algorithm>

#ifndef RANVISTA_VERSION
#define RANVISTA_VERSION "unknown"
#endif

namespace {

constexpr size_t kHelpWidth = 79;

// "--name VALUE" as the help shows an option.
std::string OptionLabel(const OptionHelp& o) {
    return "--" + o.name + (o.value.empty() ? "" : " " + o.value);
}

// Fills text into lines of at most width columns, each starting with indent.
std::string Wrap(const std::string& text, size_t indent, size_t width = kHelpWidth) {
    std::string out;
    std::string line(indent, ' ');
    size_t pos = 0;
    bool lineHasWord = false;
    while (pos < text.size()) {
        if (text[pos] == '\n') {
            out += line + "\n";
            line.assign(indent, ' ');
            lineHasWord = false;
            ++pos;
            continue;
        }
        const size_t end = std::min(text.find_first_of(" \n", pos), text.size());
        const std::string word = text.substr(pos, end - pos);
        if (lineHasWord && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.assign(indent, ' ');
            lineHasWord = false;
        }
        line += (lineHasWord ? " " : "") + word;
        lineHasWord = true;
        pos = (end < text.size() && text[end] == ' ') ? end + 1 : end;
    }
    if (lineHasWord) {
        out += line + "\n";
    }
    return out;
}

std::string OptionList(const std::vector<OptionHelp>& options) {
    size_t labelWidth = 0;
    for (const auto& o : options) {
        labelWidth = std::max(labelWidth, OptionLabel(o).size());
    }
    labelWidth = std::min<size_t>(labelWidth, 30);
    std::string out;
    for (const auto& o : options) {
        const std::string label = std::string("  ") + OptionLabel(o);
        const size_t textColumn = labelWidth + 4;
        std::string text = Wrap(o.text, textColumn);
        if (label.size() + 2 <= textColumn) {
            text.replace(0, label.size(), label);
        } else {
            text = label + "\n" + text;
        }
        out += text;
    }
    return out;
}

std::vector<OptionHelp> AllOptions(const CommandHelp& command) {
    std::vector<OptionHelp> all = command.options;
    all.insert(all.end(), CommonOptions().begin(), CommonOptions().end());
    return all;
}

// Text for roff: backslashes escaped, hyphens as minus signs (options are
// copied from the page), and a leading '.' or '\'' kept from being a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\\') {
            out += "\\e";
        } else if (ch == '-') {
            out += "\\-";
        } else {
            out += ch;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

std::string RoffParagraphs(const std::string& text) {
    std::string out;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t end = std::min(text.find("\n\n", pos), text.size());
        out += std::string(".PP\n") + Roff(text.substr(pos, end - pos)) + "\n";
        pos = end + 2;
    }
    return out;
}

std::string RoffOptions(const std::vector<OptionHelp>& options) {
    std::string out;
    for (const auto& o : options) {
        out.append(".TP\n\\fB\\-\\-").append(Roff(o.name)).append("\\fR");
        if (!o.value.empty()) {
            out.append(" \\fI").append(Roff(o.value)).append("\\fR");
        }
        out.append("\n").append(Roff(o.text)).append("\n");
    }
    return out;
}

std::string OptionWords(const std::vector<OptionHelp>& options) {
    std::string out;
    for (const auto& o : options) {
        out += (out.empty() ? "--" : " --") + o.name;
    }
    return out;
}

} // namespace

const CommandHelp* FindCliCommand(std::string_view name) {
    for (const auto& c : CliCommands()) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

const std::vector<OptionHelp>& CommonOptions() {
    static const std::vector<OptionHelp> options = {
        {"json", "", "print exactly one JSON object (measure --batch: one per line)"},
        {"help", "", "show this help and exit"},
        {"version", "", "show the version and exit"},
    };
    return options;
}

std::string CliVersionText() {
    return "ranvista-cli " RANVISTA_VERSION "\n"
           "The measuring core of Ranvista, the stereo rangefinder for rover images.\n";
}

std::string CliUsageText() {
    std::string out = "usage: ranvista-cli COMMAND [ARGS] [--json]\n"
                      "       ranvista-cli COMMAND --help\n"
                      "       ranvista-cli --version\n\ncommands:\n";
    size_t width = 0;
    for (const auto& c : CliCommands()) {
        width = std::max(width, c.name.size());
    }
    for (const auto& c : CliCommands()) {
        out += "  " + c.name + std::string(width + 2 - c.name.size(), ' ') + c.summary + "\n";
    }
    out += std::string("\n") +
           Wrap("Options may come anywhere after the command, as --opt VALUE or "
                "--opt=VALUE; values and positional numbers may be negative; -- ends "
                "the options. Bad arguments exit with status 2.",
                0);
    return out;
}

std::string CommandHelpText(const CommandHelp& command) {
    std::string out;
    for (size_t i = 0; i < command.synopses.size(); ++i) {
        out += std::string(i == 0 ? "usage: " : "       ") + "ranvista-cli " + command.name + " " +
               command.synopses[i] + "\n";
    }
    out += std::string("\n") + Wrap(command.description, 0) + "\noptions:\n" +
           OptionList(AllOptions(command));
    out += command.examples.size() == 1 ? "\nexample:\n" : "\nexamples:\n";
    for (const auto& e : command.examples) {
        out += "  ranvista-cli " + e + "\n";
    }
    return out;
}

HelpRequest FindHelpRequest(const CommandHelp& command, const Tokens& tokens) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t == "--") {
            break;
        }
        if (t == "--help" || t == "-h") {
            return HelpRequest::Help;
        }
        if (t == "--version") {
            return HelpRequest::Version;
        }
        if (t.size() > 2 && t.compare(0, 2, "--") == 0 && t.find('=') == std::string::npos) {
            const auto takesValue = std::any_of(
                command.options.begin(), command.options.end(),
                [&](const OptionHelp& o) { return !o.value.empty() && t.substr(2) == o.name; });
            if (takesValue) {
                ++i;
            }
        }
    }
    return HelpRequest::None;
}

std::string CliManPage() {
    std::string out =
        ".TH RANVISTA\\-CLI 1 \"\" \"Ranvista " RANVISTA_VERSION "\" \"User Commands\"\n"
        ".SH NAME\n"
        "ranvista\\-cli \\- stereo rangefinder for rover images on the command "
        "line\n"
        ".SH SYNOPSIS\n";
    for (const auto& c : CliCommands()) {
        for (const auto& s : c.synopses) {
            out += std::string(".B ranvista\\-cli\n") + Roff(c.name + " " + s) +
                   " [\\-\\-json]\n.br\n";
        }
    }
    out += ".B ranvista\\-cli\n.I COMMAND\n\\-\\-help\n.br\n"
           ".B ranvista\\-cli\n\\-\\-version\n"
           ".SH DESCRIPTION\n" +
           RoffParagraphs(
               "ranvista-cli is the measuring core of Ranvista, the desktop rangefinder for "
               "Mars rover stereo images, on the command line, so that every measurement the "
               "desktop application makes can be scripted and batch-run.\n\n"
               "Options may come anywhere after the command, as --opt VALUE or --opt=VALUE; "
               "values and positional numbers may be negative; -- ends the options. A "
               "mistyped option is named with the closest known one.") +
           ".SH COMMANDS\n";
    for (const auto& c : CliCommands()) {
        out += std::string(".SS ") + Roff(c.name) + "\n.nf\n";
        for (const auto& s : c.synopses) {
            out += std::string("\\fBranvista\\-cli ") + Roff(c.name) + "\\fR " + Roff(s) + "\n";
        }
        out += std::string(".fi\n") + RoffParagraphs(c.description);
        if (!c.options.empty()) {
            out += RoffOptions(c.options);
        }
        out += ".PP\n" + std::string(c.examples.size() == 1 ? "Example:" : "Examples:") +
               "\n.RS\n.nf\n";
        for (const auto& e : c.examples) {
            out += std::string("ranvista\\-cli ") + Roff(e) + "\n";
        }
        out += ".fi\n.RE\n";
    }
    out += std::string(".SH COMMON OPTIONS\n") + RoffOptions(CommonOptions()) +
           ".SH EXIT STATUS\n"
           ".TP\n.B 0\ndone; a computation that fails (a crossing behind a camera) is a "
           "result\n"
           ".TP\n.B 1\nthe operation failed\n"
           ".TP\n.B 2\nbad arguments or bad input\n"
           ".SH FILES\n"
           ".TP\n.I ImgBinDat\nthe image database store in the current folder, unless "
           "\\-\\-db names another\n"
           ".SH SEE ALSO\n"
           ".BR ranvista (1)\n";
    return out;
}

std::string CliBashCompletion() {
    std::string out = "# bash completion for ranvista-cli\n"
                      "_ranvista_cli() {\n"
                      "    local cur prev words cword\n"
                      "    _init_completion || return\n"
                      "    local commands=\"";
    std::string names;
    for (const auto& c : CliCommands()) {
        names += (names.empty() ? "" : " ") + c.name;
    }
    out += names + "\"\n"
                   "    if [[ $cword -eq 1 ]]; then\n"
                   "        COMPREPLY=($(compgen -W \"$commands --help --version\" -- \"$cur\"))\n"
                   "        return\n"
                   "    fi\n"
                   "    local options=\"\" values=\"\"\n"
                   "    case ${words[1]} in\n";
    for (const auto& c : CliCommands()) {
        std::string values;
        for (const auto& o : c.options) {
            if (!o.value.empty()) {
                values += (values.empty() ? "--" : " --") + o.name;
            }
        }
        out += "        " + c.name + ") options=\"" + OptionWords(AllOptions(c)) + "\" values=\"" +
               values + "\" ;;\n";
    }
    out += "    esac\n"
           "    if [[ \" $values \" == *\" $prev \"* ]]; then\n"
           "        _filedir\n"
           "        return\n"
           "    fi\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    if [[ ${words[1]} == db && $cword -eq 2 ]]; then\n"
           "        COMPREPLY=($(compgen -W \"info find import init update merge reload dump\" "
           "-- \"$cur\"))\n"
           "        return\n"
           "    fi\n"
           "    _filedir\n"
           "} &&\n"
           "    complete -F _ranvista_cli ranvista-cli\n";
    return out;
}

std::string CliZshCompletion() {
    std::string out = "#compdef ranvista-cli\n"
                      "# zsh completion for ranvista-cli\n"
                      "local -a commands\n"
                      "commands=(\n";
    for (const auto& c : CliCommands()) {
        out += "    '" + c.name + ":" + c.summary + "'\n";
    }
    out += ")\n"
           "if (( CURRENT == 2 )); then\n"
           "    _describe command commands\n"
           "    return\n"
           "fi\n"
           "case $words[2] in\n";
    for (const auto& c : CliCommands()) {
        out += "    " + c.name + ") _arguments";
        for (const auto& o : AllOptions(c)) {
            std::string text = o.text;
            std::replace(text.begin(), text.end(), '\'', ' ');
            std::replace(text.begin(), text.end(), ']', ')');
            std::replace(text.begin(), text.end(), '[', '(');
            std::replace(text.begin(), text.end(), ':', ' ');
            out += " \\\n        '--" + o.name + "[" + text + "]" +
                   (o.value.empty() ? "" : ":" + o.value + ":_files") + "'";
        }
        out += " \\\n        '*:file:_files' ;;\n";
    }
    out += "esac\n";
    return out;
}
