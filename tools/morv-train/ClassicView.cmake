# Writes a view of the trained models with the new stages switched off: the
# trained Configure.xml with NewWords off, beside a link to the same Data/.
# Tests of the classic pipeline read it; nothing is installed from it.
#   cmake -DMODEL_DIR=<trained> -DVIEW_DIR=<view> -P ClassicView.cmake
file(READ ${MODEL_DIR}/Configure.xml config)
string(REGEX REPLACE "<NewWords>[^<]*</NewWords>\n?" "" config "${config}")
string(REPLACE "</Configure>" "<NewWords>off</NewWords>\n</Configure>" config "${config}")
file(MAKE_DIRECTORY ${VIEW_DIR})
file(WRITE ${VIEW_DIR}/Configure.xml.tmp "${config}")
file(RENAME ${VIEW_DIR}/Configure.xml.tmp ${VIEW_DIR}/Configure.xml)
if(NOT EXISTS ${VIEW_DIR}/Data)
  file(CREATE_LINK ${MODEL_DIR}/Data ${VIEW_DIR}/Data SYMBOLIC)
endif()
