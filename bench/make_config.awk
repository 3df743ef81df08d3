# Writes an agent-config.json for the benchmarks on standard output.
#
#   awk -v words=N -v rules=N -v replacement=CHARS -v style=CHARS \
#       [-v layout=tool|hand] -f make_config.awk
#
# layout=tool (the default) writes exactly the bytes the tool itself saves,
# and a record that validation keeps whole: unique words and triggers, no
# transform whose replacement holds its trigger. layout=hand writes what a
# person might leave after editing by hand: one line per entry, blanks around
# some entries, case repeats and blank entries, beyond every limit.
#
# Texts are mostly ASCII with some accented letters and emoji, counted in
# user-perceived characters. The content depends only on the arguments: the
# generator is a fixed-seed Park-Miller sequence, exact in any awk.

BEGIN {
  if (layout == "") layout = "tool"
  seed = 20240611
  accented[0] = "\303\251"      # e acute
  accented[1] = "\303\274"      # u diaeresis
  accented[2] = "\303\261"      # n tilde
  accented[3] = "\303\247"      # c cedilla
  emoji[0] = "\360\237\221\215"  # thumbs up
  emoji[1] = "\360\237\230\200"  # grinning face
  emoji[2] = "\342\234\250"      # sparkles
  letters = "abcdefghijklmnopqrstuvwxyz"

  if (layout == "hand") writeHandEdited(); else writeToolLayout()
}

function random(n) {
  seed = (seed * 16807) % 2147483647
  return seed % n
}

# `count` characters of prose: lower-case words, spaces, now and then an
# accented letter or an emoji. Never a digit, so no trigger can occur in it.
function prose(count,    s, i, r) {
  s = ""
  for (i = 0; i < count; i++) {
    r = random(1000)
    if (i > 0 && i < count - 1 && r < 150 && substr(s, length(s)) != " ") s = s " "
    else if (r < 160) s = s accented[r % 4]
    else if (r < 163) s = s emoji[r % 3]
    else s = s substr(letters, random(26) + 1, 1)
  }
  return s
}

# A word for the dictionary, unique for each `i`.
function word(i,    r) {
  r = i % 20
  if (r == 7) return "Caf" accented[0] "-" i
  if (r == 13) return emoji[i % 3] "-" i
  return toupper(substr(letters, i % 26 + 1, 1)) prose(4 + i % 6) "-" i
}

function trigger(i) { return "trigger " i " " prose(3 + i % 8) }

function writeToolLayout(    i) {
  printf "{\n  \"dictionary\" : ["
  if (words == 0) printf "\n\n  ],\n"
  else {
    printf "\n"
    for (i = 0; i < words; i++) printf "    \"%s\"%s\n", word(i), (i + 1 < words ? "," : "")
    printf "  ],\n"
  }
  printf "  \"rules\" : ["
  if (rules == 0) printf "\n\n  ]"
  else {
    printf "\n"
    for (i = 0; i < rules; i++) {
      printf "    {\n"
      printf "      \"enabled\" : %s,\n", (i % 7 == 3 ? "false" : "true")
      printf "      \"kind\" : \"%s\",\n", (i % 2 ? "snippet" : "transform")
      printf "      \"replacement\" : \"%s\",\n", prose(replacement)
      printf "      \"trigger\" : \"%s\"\n", trigger(i)
      printf "    }%s\n", (i + 1 < rules ? "," : "")
    }
    printf "  ]"
  }
  printf ",\n"
  if (style > 0) printf "  \"style\" : \"%s\",\n", prose(style)
  printf "  \"version\" : 1\n}"
}

function writeHandEdited(    i, r) {
  printf "{ \"version\": 1,\n\"dictionary\": [\n"
  for (i = 0; i < words; i++) {
    r = i % 10
    if (r == 3) printf "  \"  %s\\t\"", word(i)
    else if (r == 5) printf "\"%s\"", toupper(word(i - 5))
    else if (r == 8) printf "\" \""
    else printf "\"%s\"", word(i)
    printf "%s\n", (i + 1 < words ? "," : "")
  }
  printf "],\n\"rules\": [\n"
  for (i = 0; i < rules; i++) {
    printf "{\"kind\": \"%s\", \"trigger\": \" %s \", \"replacement\": \"%s\", \"enabled\": true}%s\n",
      (i % 2 ? "snippet" : "transform"), trigger(i), prose(replacement), (i + 1 < rules ? "," : "")
  }
  printf "],\n\"style\": \"%s\"\n}\n", prose(style)
}
