# capitalised(words_with_underscores OUT): WordsWithUnderscores, the words joined each with a capital; for
# the C++ names that the build makes from a machine program's names (sound8_reu -> Sound8Reu).
function(capitalised words_with_underscores out)
  string(REGEX MATCHALL "[A-Za-z0-9]+" words ${words_with_underscores})
  set(joined "")
  foreach(word IN LISTS words)
    string(SUBSTRING ${word} 0 1 head)
    string(TOUPPER ${head} head)
    string(SUBSTRING ${word} 1 -1 tail)
    string(APPEND joined "${head}${tail}")
  endforeach()
  set(${out} ${joined} PARENT_SCOPE)
endfunction()
