// man_page.h: a program's manual page, made from its page source and its own --help.
//
// A page source (man/NAME.SECTION.in) is roff with man(7) macros, written by hand, with markers
// on lines of their own where the program's help goes:
//   @USAGE@      the usage lines of `PROGRAM --help` ("Usage: ..." and its continuation lines,
//                or lines that begin with the program's name)
//   @HELP@       all of `PROGRAM --help`, as it prints it
//   @VERB NAME@  all of `PROGRAM NAME --help`
//   @SECTION H@  the lines under the heading "H:" of `PROGRAM --help`, up to a blank line
//   @EXIT@       the exit codes that `PROGRAM --help` lists ("Exit status: 0 ..., 1 ...") as a
//                list of codes and meanings
// and @VERSION@ anywhere for the version. Help text is copied, never rewritten, so a page says
// what the program says.
//
// The page and the help may still disagree where the page's own words are concerned. Expand
// refuses a page whose source
//   - has @VERB@ markers, but not one for each verb that --help lists under "Verbs:" or
//     "Commands:" (or one for a verb it does not list): a new verb needs its description;
//   - names an option in its own words (in bold: \fB\-\-NAME, or .B \-\-NAME) that no help
//     text of the program has;
//   - asks for usage lines or exit codes that --help does not have.
#ifndef PAIRWAY_TOOLS_MANGEN_MAN_PAGE_H
#define PAIRWAY_TOOLS_MANGEN_MAN_PAGE_H

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace mangen {

// The first word of each item of the help's "Verbs:" or "...Commands:" list, in order; empty
// when it has no such list.
std::vector<std::string> ListedVerbs(const std::string& help);

// The usage lines of `help` of program `program`, without "Usage: " and with continuation lines
// kept as they are aligned.
std::vector<std::string> UsageLines(const std::string& help, const std::string& program);

// The exit codes `help` lists, each with its meaning; empty when it lists none.
std::vector<std::pair<std::string, std::string>> ExitCodes(const std::string& help);

// `text` as roff that prints it as it is: no filling, every backslash, hyphen and leading
// control character escaped.
std::string Verbatim(const std::string& text);

// The help of the program: `PROGRAM --help` for "", `PROGRAM VERB --help` for a verb. False
// when the program could not be run or failed.
using HelpSource = std::function<bool(const std::string& verb, std::string* text)>;

// Makes the page of program `program` from `source`. False, with the reason in *error, when the
// source and the help disagree (see above) or the help cannot be had.
bool Expand(const std::string& source, const std::string& program, const std::string& version,
            const HelpSource& help, std::string* page, std::string* error);

}  // namespace mangen

#endif  // PAIRWAY_TOOLS_MANGEN_MAN_PAGE_H
