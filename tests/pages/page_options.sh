#!/usr/bin/env bash
# Checks that a manual page and its program name the same options.
#   page_options.sh PAGE PROGRAM [ARGUMENTS...]
# PROGRAM ARGUMENTS must print the program's options: a usage text whose "args:" line lists them in
# brackets ([/sSCALE] [/af AUDIO] [/v[VERBOSE]]), or a --help text with one option a line ("  --wav FILE",
# "  --rate HZ=7843").
# The page's option list is every ".It" entry that starts with Cm or Fl, spelt as the page renders it
# (".It Cm /s Ns Ar SCALE" is /sSCALE, ".It Fl \-border Ns Op = Ns Ar COLOUR" is --border[=COLOUR]). The
# options its SYNOPSIS names, if it names any, must be the same list. Where the usage text misspells an
# option, the page says so in its CAVEATS with a row ".It Li USAGE-SPELLING Ta Cm REAL-SPELLING..."; the
# usage text must then really print that spelling, and is compared with the real one in its place.
set -uo pipefail
export LC_ALL=C
page=$1; shift

# Prints "list OPTION", "synopsis OPTION" and "misspelt USAGE-SPELLING OPTION" lines for the page.
page_entries() {
  awk '
    function add(word) {
      out = (out == "" || glue) ? out word : out " " word
      glue = 0
    }
    # Spells the mdoc words of one line as the rendered page shows them.
    function render(text,    n, words, i, word, dash, closers) {
      gsub(/\\-/, "-", text)
      n = split(text, words, " ")
      out = ""; glue = 0; dash = ""; closers = ""
      for (i = 1; i <= n; i++) {
        word = words[i]
        if (word == "Cm" || word == "Ar") continue
        if (word == "Ns") { glue = 1; continue }
        if (word == "Fl") { dash = "-"; continue }
        if (word == "Op") { add("["); glue = 1; closers = closers "]"; continue }
        if (word == ",") { out = out ","; glue = 1; continue }
        add(dash word); dash = ""
      }
      return out closers
    }
    /^\.Sh / { section = $2; next }
    section == "CAVEATS" && /^\.It Li [^ ]+ Ta / {
      usage = $3; sub(/^\.It Li [^ ]+ Ta /, "")
      print "misspelt", usage, render($0); next
    }
    section != "CAVEATS" && /^\.It (Cm|Fl) / { sub(/^\.It /, ""); print "list", render($0); next }
    section == "SYNOPSIS" && /^\.Op (Cm|Fl) / { sub(/^\.Op /, ""); print "synopsis", render($0); next }
  ' "$page"
}

# Prints the options of a usage text or a --help text, one a line.
printed_options() {
  awk '
    /^args:/ { usage = 1 }
    usage && (/^args:/ || /^ +\[/) {
      for (i = 1; i <= length($0); i++) {
        c = substr($0, i, 1)
        if (c == "[" && depth++ == 0) { option = ""; continue }
        if (c == "]" && --depth == 0) { print option; continue }
        if (depth > 0) option = option c
      }
      next
    }
    usage { usage = 0 }
    /^ +-[-A-Za-z0-9]/ { help[++lines] = $0 }
    # A --help text puts every description at one column (a long option has its own on the next line),
    # sometimes a single space after the option: the column is where the descriptions after a wider gap
    # start. Notes of the parser after the value (a default, as "=7843" or " [7843]", REQUIRED, Excludes:,
    # Needs:) are not part of the spelling.
    END {
      column = 0
      for (i = 1; i <= lines; i++)
        if (match(help[i], /[^ ]  +[^ ]/) && (column == 0 || RSTART + RLENGTH - 1 < column))
          column = RSTART + RLENGTH - 1
      for (i = 1; i <= lines; i++) {
        option = help[i]
        if (column > 0 && length(option) >= column && substr(option, column - 1, 1) == " ")
          option = substr(option, 1, column - 1)
        sub(/^ +/, "", option); sub(/ +$/, "", option)
        sub(/ (REQUIRED|Excludes:|Needs:).*$/, "", option); sub(/ \[[^]]*\]$/, "", option)
        if (option ~ / [^ ]+=[^ ]*$/) sub(/=[^ ]*$/, "", option)
        print option
      }
    }
  '
}

entries=$(page_entries) || exit 1
listed=$(sed -n 's/^list //p' <<<"$entries" | sort)
synopsis=$(sed -n 's/^synopsis //p' <<<"$entries" | sort)
printed=$("$@" 2>&1 | printed_options | sort)
status=0

if [ -z "$listed" ] || [ -z "$printed" ]; then
  echo "No options found: $(grep -c . <<<"$listed") in $page, $(grep -c . <<<"$printed") printed by $*" >&2
  exit 1
fi
while read -r kind usage_spelling real; do
  [ "$kind" = misspelt ] || continue
  if ! grep -qxF -- "$usage_spelling" <<<"$printed"; then
    echo "$page says the usage text writes $usage_spelling for $real, but it does not" >&2
    status=1
  fi
  printed=$(awk -v from="$usage_spelling" -v to="$real" '{ print $0 == from ? to : $0 }' <<<"$printed" | sort)
done <<<"$entries"

differences() {  # name of the first list, first list, name of the second, second
  local only
  only=$(comm -23 <(echo "$2") <(echo "$4")); [ -n "$only" ] && echo "Only in $1:" $only >&2
  only=$(comm -13 <(echo "$2") <(echo "$4")); [ -n "$only" ] && echo "Only in $3:" $only >&2
  [ "$2" = "$4" ]
}
differences "the options of $page" "$listed" "what $* prints" "$printed" || status=1
if [ -n "$synopsis" ]; then
  differences "the SYNOPSIS of $page" "$synopsis" "its option list" "$listed" || status=1
fi
[ $status -eq 0 ] && echo "$page and $* name the same $(wc -l <<<"$listed") options"
exit $status
