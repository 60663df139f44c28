# Fills a template from the table of quibbo-cli's commands
# (quibbo-cli.commands). In the template, @VERSION@ becomes the version and
# a line holding only a marker becomes the table:
#   @COMMANDS@      every command with its options, in roff (for the page)
#   @OPTIONS@       the options every command takes, in roff
#   @ALONE@         the options taken only without a command, in roff
#   @TABLE@         all of it as bash variables and a function (completion)
#   @COMMAND_ROWS@  the commands as rows of kCommands (cli/command_table.h)
#   @OPTION_ROWS@   the options as rows of kOptions
#
#   awk -v version=V -v out=FILE -f expand.awk TABLE TEMPLATE
# Exits 1, naming the line, on a table line it cannot read.

FNR == NR { Read(); next }
/^@COMMANDS@$/ { Commands(); next }
/^@OPTIONS@$/ { Options(0); next }
/^@ALONE@$/ { Options(-1); next }
/^@TABLE@$/ { Table(); next }
/^@COMMAND_ROWS@$/ { CommandRows(); next }
/^@OPTION_ROWS@$/ { OptionRows(); next }
{ gsub(/@VERSION@/, version); print > out }

# One line of the table: "NAMES [VALUE] | meaning". An option's command is
# option_of: 0 for every command, -1 for none.
function Read(   bar, head, alone, n, words, i, names, rest) {
  if ($0 ~ /^[ \t]*(#|$)/) return
  bar = index($0, " | ")
  if (bar == 0) Fail("no \" | \" between the names and the meaning")
  head = substr($0, 1, bar - 1)
  alone = sub(/[ \t]*\(without a command\)/, "", head)
  n = split(head, words, /[ \t,]+/)
  names = rest = ""
  for (i = 1; i <= n; i++) {
    if (words[i] == "") continue
    if (words[i] ~ /^-/) names = Join(names, words[i])
    else rest = Join(rest, words[i])
  }
  if (alone && (names == "" || command_count > 0))
    Fail("only an option before the first command can be without a command")
  if (names != "") {
    option_count++
    option_of[option_count] = alone ? -1 : command_count
    option_names[option_count] = names
    option_value[option_count] = rest
    option_meaning[option_count] = substr($0, bar + 3)
  } else {
    command_count++
    n = index(rest " ", " ")
    command_name[command_count] = substr(rest, 1, n - 1)
    command_args[command_count] = substr(rest, n + 1)
    command_meaning[command_count] = substr($0, bar + 3)
  }
}

function Fail(why) {
  printf "%s:%d: %s\n", FILENAME, FNR, why > "/dev/stderr"
  exit 1
}

function Join(list, word) { return list == "" ? word : list " " word }

# Text for roff, with hyphens as \- so that they stay hyphens. (No text in
# the table starts with a dot or a quote, which roff would take as a request.)
function Roff(text) {
  gsub(/-/, "\\-", text)
  return text
}

function Commands(   c) {
  for (c = 1; c <= command_count; c++) {
    print ".TP" > out
    print "\\fB" Roff(command_name[c]) "\\fR" \
      (command_args[c] == "" ? "" : " \\fI" Roff(command_args[c]) "\\fR") > out
    print Roff(command_meaning[c]) > out
    Options(c)
  }
}

# The options of command `c` (0: those of every command, -1: those of none),
# indented below it.
function Options(c,   o, n, i, names, shown) {
  for (o = 1; o <= option_count; o++) {
    if (option_of[o] != c) continue
    if (c > 0 && !shown++) print ".RS" > out
    n = split(option_names[o], names, " ")
    printf ".TP\n" > out
    for (i = 1; i <= n; i++) {
      printf "%s\\fB%s\\fR", (i > 1 ? ", " : ""), Roff(names[i]) > out
    }
    if (option_value[o] != "") printf " \\fI%s\\fR", Roff(option_value[o]) > out
    print "\n" Roff(option_meaning[o]) > out
  }
  if (shown) print ".RE" > out
}

function Table(   c, o, common, alone, commands, files, file_options, value_options, list) {
  for (o = 1; o <= option_count; o++) {
    if (option_value[o] ~ /FILE/) file_options = Join(file_options, option_names[o])
    else if (option_value[o] != "") value_options = Join(value_options, option_names[o])
    if (option_of[o] == 0) common = Join(common, option_names[o])
    if (option_of[o] < 0) alone = Join(alone, option_names[o])
  }
  for (c = 1; c <= command_count; c++) {
    commands = Join(commands, command_name[c])
    if (command_args[c] ~ /FILE/) files = Join(files, command_name[c])
  }
  print "_quibbo_cli_commands='" commands "'" > out
  print "_quibbo_cli_common_options='" common "'" > out
  print "_quibbo_cli_alone_options='" alone "'" > out
  print "_quibbo_cli_file_options='" file_options "'" > out
  print "_quibbo_cli_value_options='" value_options "'" > out
  print "_quibbo_cli_file_commands='" files "'" > out
  print "_quibbo_cli_options_of() {" > out
  print "  case $1 in" > out
  for (c = 1; c <= command_count; c++) {
    list = ""
    for (o = 1; o <= option_count; o++) {
      if (option_of[o] == c) list = Join(list, option_names[o])
    }
    print "    " command_name[c] ") echo '" list "' ;;" > out
  }
  print "  esac" > out
  print "}" > out
}

# The id of a command or option in the program: "no-learn" and "--no-learn"
# give "kNoLearn".
function Id(name,   n, parts, i, id) {
  sub(/^-+/, "", name)
  n = split(name, parts, "-")
  id = "k"
  for (i = 1; i <= n; i++) id = id toupper(substr(parts[i], 1, 1)) substr(parts[i], 2)
  return id
}

# `text` as a C++ string literal.
function Quote(text,   quoted, i, c) {
  for (i = 1; i <= length(text); i++) {
    c = substr(text, i, 1)
    quoted = quoted (c == "\"" || c == "\\" ? "\\" : "") c
  }
  return "\"" quoted "\""
}

function CommandRows(   c) {
  for (c = 1; c <= command_count; c++) {
    printf "    {Command::%s, %s, %s,\n     %s},\n", Id(command_name[c]),
      Quote(command_name[c]), Quote(command_args[c]),
      Quote(command_meaning[c]) > out
  }
}

function OptionRows(   o, n, names, commands) {
  for (o = 1; o <= option_count; o++) {
    n = split(option_names[o], names, " ")
    commands = option_of[o] == 0 ? "kEveryCommand" : option_of[o] < 0 ? "0" \
      : "Bit(Command::" Id(command_name[option_of[o]]) ")"
    printf "    {Knob::%s, %s, %s, %s,\n     %s},\n", Id(names[n]),
      Quote(Comma(option_names[o])),
      option_value[o] == "" ? "nullptr" : Quote(option_value[o]), commands,
      Quote(option_meaning[o]) > out
  }
}

# "-h --help" as the help shows it: "-h, --help".
function Comma(names) {
  gsub(/ /, ", ", names)
  return names
}
