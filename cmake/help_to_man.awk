# SPDX-License-Identifier: GPL-2.0-or-later
# Turns a program's --help text (standard input) into its manual page (roff, standard output), so
# that the page says what --help says, word for word and in the same order. Variables (-v):
# name, section, summary (the NAME line's description), source (the footer), see_also.
#
# What it reads in the help text:
#   "Usage: PROGRAM ..."   and the indented lines after it: the synopsis, one form per line that
#                          starts with the program's name, the others continuing it
#   "Words:"               an unindented line of at most five words ending in a colon: a subsection
#   "TERM  TEXT"           a term, two or more spaces, then its text: a tagged paragraph; deeper
#                          indented lines after it go on with the text (an indented term starting
#                          with "-" needs no text on its first line), filled
#   "  other"              any other indented line: shown as it is (a line ending in "\" goes on)
#   "other"                prose, filled into paragraphs; a blank line ends a paragraph

function roff(text,    out, i, c, previous, option) {
    gsub(/\\/, "\\e", text)
    out = ""
    previous = " "
    option = 0
    # A dash that starts a word starts an option, whose dashes are minus signs, where no line
    # breaks; a dash inside another word is a hyphen.
    for (i = 1; i <= length(text); i++) {
        c = substr(text, i, 1)
        if (index(" [(|,=", c) > 0) option = 0
        else if (c == "-" && index(" [(|,=", previous) > 0) option = 1
        if (c == "-" && option) out = out "\\-"
        else out = out c
        previous = c
    }
    if (out ~ /^[.']/) out = "\\&" out
    return out
}

# The term's option names and first word in bold, its placeholders in roman.
function term_roff(term,    count, words, i, out) {
    count = split(term, words, " ")
    out = ""
    for (i = 1; i <= count; i++) {
        if (i == 1 || words[i] ~ /^-/) out = out (i > 1 ? " " : "") "\\fB" roff(words[i]) "\\fR"
        else out = out " " roff(words[i])
    }
    return out
}

function leave_block() {
    if (block == "verbatim") print ".fi\n.RE"
    block = ""
}

function flush_synopsis() {
    if (form != "") print (forms++ > 0 ? ".br\n" : "") "\\fB" roff(name) "\\fR" roff(substr(form, length(name) + 1))
    form = ""
}

function indent_of(line) {
    match(line, /^ */)
    return RLENGTH
}

BEGIN {
    print ".\\\" Made from `" name " --help` when the program is built: change the help text, not this page."
    print ".TH " toupper(roff(name)) " " section " \"\" \"" source "\" \"User Commands\""
    print ".nh"
    print ".ad l"
    print ".SH NAME"
    print roff(name) " \\- " roff(summary)
    state = "start"
}

state == "start" && /^Usage: / {
    print ".SH SYNOPSIS"
    form = substr($0, 8)
    state = "synopsis"
    next
}

state == "synopsis" {
    if ($0 ~ /^ +[^ ]/) {
        line = $0
        sub(/^ +/, "", line)
        if (index(line, name " ") == 1 || line == name) {
            flush_synopsis()
            form = line
        } else {
            form = form " " line
        }
        next
    }
    flush_synopsis()
    print ".SH DESCRIPTION"
    state = "body"
    block = ""
}

state != "body" { next }

/^ *$/ {
    leave_block()
    next
}

# A line of a shown command that goes on.
block == "verbatim" && continued {
    print roff(substr($0, 3))
    continued = /\\$/
    next
}

# The text of the tagged paragraph going on.
block == "entry" && indent_of($0) > term_indent + 2 {
    line = $0
    sub(/^ +/, "", line)
    print roff(line)
    next
}

/^[A-Za-z][^ ]*( [^ ]+)*:$/ && split($0, words, " ") <= 5 {
    leave_block()
    print ".SS " roff($0)
    next
}

# A term, then at least two spaces and its text; or an indented option without text yet.
match($0, /^ *[^ ]([^ ]| [^ ])*  +[^ ]/) || /^ +-[^ ]*( [^ ]+)*$/ {
    leave_block()
    term_indent = indent_of($0)
    line = substr($0, term_indent + 1)
    if (match(line, /  +/)) {
        term = substr(line, 1, RSTART - 1)
        text = substr(line, RSTART + RLENGTH)
    } else {
        term = line
        text = ""
    }
    print ".TP\n" term_roff(term)
    if (text != "") print roff(text)
    block = "entry"
    next
}

/^ / {
    if (block != "verbatim") {
        leave_block()
        print ".RS 2\n.nf"
        block = "verbatim"
    }
    print roff(substr($0, 3))
    continued = /\\$/
    next
}

{
    if (block != "text") {
        leave_block()
        print ".PP"
        block = "text"
    }
    print roff($0)
}

END {
    if (state == "synopsis") flush_synopsis()
    leave_block()
    if (see_also != "") {
        print ".SH \"SEE ALSO\""
        print roff(see_also)
    }
}
