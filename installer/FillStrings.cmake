# cmake -DINPUT=<string file> -DOUTPUT=<file> -DCOPYRIGHT_YEARS=<years> -P FillStrings.cmake
# Writes the string file with the copyright years in place of their placeholder.
file(READ ${INPUT} text)
string(REPLACE "%COPYRIGHT_YEARS%" "${COPYRIGHT_YEARS}" text "${text}")
file(WRITE ${OUTPUT} "${text}")
