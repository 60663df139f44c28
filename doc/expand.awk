# Fills a template from the table of quibbo-cli's subcommands
# (quibbo-cli.commands). In the template, @VERSION@ becomes the version and
# a line holding only a marker becomes the table:
#   @COMMANDS@  every subcommand with its options, in roff (for the page)
#   @OPTIONS@   the options every subcommand takes, in roff
#   @TABLE@     all of it as bash variables and a function (for completion)
#
#   awk -v version=V -v out=FILE -f expand.awk TABLE TEMPLATE
# Exits 1, naming the line, on a table line it cannot read.

FNR == NR { Read(); next }
/^@COMMANDS@$/ { Commands(); next }
/^@OPTIONS@$/ { Options(0); next }
/^@TABLE@$/ { Table(); next }
{ gsub(/@VERSION@/, version); print > out }

# One line of the table: "NAMES [VALUE] | meaning".
function Read(   bar, n, words, i, names, rest) {
  if ($0 ~ /^[ \t]*(#|$)/) return
  bar = index($0, " | ")
  if (bar == 0) {
    printf "%s:%d: no \" | \" between the names and the meaning\n",
      FILENAME, FNR > "/dev/stderr"
    exit 1
  }
  n = split(substr($0, 1, bar - 1), words, /[ \t,]+/)
  names = rest = ""
  for (i = 1; i <= n; i++) {
    if (words[i] == "") continue
    if (words[i] ~ /^-/) names = Join(names, words[i])
    else rest = Join(rest, words[i])
  }
  if (names != "") {
    option_count++
    option_of[option_count] = command_count
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

# The options of command `c` (0: those of every command), indented below it.
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

function Table(   c, o, common, commands, files, file_options, value_options, list) {
  for (o = 1; o <= option_count; o++) {
    if (option_value[o] ~ /FILE/) file_options = Join(file_options, option_names[o])
    else if (option_value[o] != "") value_options = Join(value_options, option_names[o])
    if (option_of[o] == 0) common = Join(common, option_names[o])
  }
  for (c = 1; c <= command_count; c++) {
    commands = Join(commands, command_name[c])
    if (command_args[c] ~ /FILE/) files = Join(files, command_name[c])
  }
  print "_quibbo_cli_commands='" commands "'" > out
  print "_quibbo_cli_common_options='" common "'" > out
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
