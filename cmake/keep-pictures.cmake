# Removes every file but the PNG pictures from FOLDER: the golden folder of an example script
# keeps its screenshots and the textures its exports write, not the exported models.
file(GLOB written "${FOLDER}/*")
foreach(file ${written})
  if(NOT file MATCHES "\\.png$")
    file(REMOVE "${file}")
  endif()
endforeach()
