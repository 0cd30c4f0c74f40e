#include "ui/logic/AboutText.h"

namespace corvane::ui {

std::string AboutText() {
    return "Corvane provides a rapid means of extracting data from DataEase tables.  It will handle 4.x, \n"
           "5.x, & DfW.  Corvane produces an ASCII comma-delimited file with MailMerge headings.\n"
           "\n"
           "Written by the Corvane developers.\n"
           "\n"
           "This software is provided free and as is, without warranty of any kind.\n"
           "\n"
           "The command-line tool corvane-cli does the same exports from scripts: it lists the "
           "databases of a directory and the forms of a database, and exports forms to delimited text "
           "files.\n";
}

} // namespace corvane::ui
