# cmake -DXGETTEXT=... -DMSGCMP=... -DSOURCES=DIR -DPO=FILE -DOUT=DIR -P check-catalogue.cmake
# Takes every text of the sources under SOURCES that goes through tr(),
# trf(), trnf(), trLater() or _() and fails, naming each, when PO has no
# translation for it (a missing entry, an empty or a fuzzy one).
foreach(var XGETTEXT MSGCMP SOURCES PO OUT)
  if(NOT ${var})
    message(FATAL_ERROR "check-catalogue.cmake needs -D${var}=...")
  endif()
endforeach()
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
file(GLOB_RECURSE sources RELATIVE "${SOURCES}" "${SOURCES}/*.cpp" "${SOURCES}/*.h")
list(SORT sources)
list(JOIN sources "\n" listing)
file(WRITE "${OUT}/sources.txt" "${listing}\n")
execute_process(
  COMMAND "${XGETTEXT}" --language=C++ --from-code=UTF-8 --keyword --keyword=_ --keyword=tr --keyword=trf
    --keyword=trnf:1,2 --keyword=trLater --flag=trf:1:c-format --flag=trnf:1:c-format --flag=trnf:2:c-format
    --omit-header --directory=${SOURCES} --files-from=${OUT}/sources.txt --output=${OUT}/box.pot
  RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "xgettext failed: ${err}")
endif()
file(STRINGS "${OUT}/box.pot" ids REGEX "^msgid ")
list(LENGTH ids count)
# The box has far more texts than this: fewer means the keywords found nothing.
if(count LESS 100)
  message(FATAL_ERROR "only ${count} texts found in ${SOURCES}: are tr() and trf() still the box's keywords?")
endif()
# Exact matches only; untranslated and fuzzy entries of PO count as missing.
execute_process(COMMAND "${MSGCMP}" --no-fuzzy-matching "${PO}" "${OUT}/box.pot"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "[^\n]*this message is not used\n" "" err "${err}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PO} lacks translations of texts the box uses (see ${OUT}/box.pot):\n${err}")
endif()
message(STATUS "${count} texts of the box, all translated in ${PO}")
