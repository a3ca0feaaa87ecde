# The programs' resources and the files that can't include a header.
#
# The manifests and the INF template hold the programs' versions and the kit's identity, which
# the code and the resource scripts take from res/version.h and common/core/kit_identity.h. The
# build reads those two headers and writes the files from their .in templates, so that each
# number and text is written once.

set(KORVA_VERSION_HEADER ${CMAKE_SOURCE_DIR}/res/version.h)
set(KORVA_IDENTITY_HEADER ${CMAKE_SOURCE_DIR}/common/core/kit_identity.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${KORVA_VERSION_HEADER} ${KORVA_IDENTITY_HEADER})

file(READ ${KORVA_VERSION_HEADER} korva_header)
foreach(program KORVACW KORVAWIZ KORVAAPP)
  foreach(part MAJOR MINOR)
    set(name ${program}_VERSION_${part})
    if(NOT korva_header MATCHES "#define ${name} ([0-9]+)\n")
      message(FATAL_ERROR "${KORVA_VERSION_HEADER} defines no ${name}")
    endif()
    set(${name} ${CMAKE_MATCH_1})
  endforeach()
endforeach()
file(READ ${KORVA_IDENTITY_HEADER} korva_header)
foreach(name kKitClassGuidText kKitIdentValueName kKitIdent)
  if(NOT korva_header MATCHES "constexpr char ${name}\\[\\] = \"([^\"]*)\";")
    message(FATAL_ERROR "${KORVA_IDENTITY_HEADER} defines no ${name}")
  endif()
  set(${name} "${CMAKE_MATCH_1}")
endforeach()

# The manifests, where the resource scripts find them (windres searches the include folders).
set(KORVA_GENERATED_RESOURCES ${CMAKE_BINARY_DIR}/generated)
set(KORVA_MANIFESTS
  ${KORVA_GENERATED_RESOURCES}/KORVAcw.manifest
  ${KORVA_GENERATED_RESOURCES}/KORVAwiz.manifest
  ${KORVA_GENERATED_RESOURCES}/korvaapp.manifest)
configure_file(${CMAKE_SOURCE_DIR}/res/KORVAcw.manifest.in
  ${KORVA_GENERATED_RESOURCES}/KORVAcw.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/KORVAwiz.manifest.in
  ${KORVA_GENERATED_RESOURCES}/KORVAwiz.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/kit/korvaapp/korvaapp.manifest.in
  ${KORVA_GENERATED_RESOURCES}/korvaapp.manifest @ONLY)

# The INF template, straight into the build's kit folder.
configure_file(${CMAKE_SOURCE_DIR}/kit/korvawiz.tpl.in ${CMAKE_BINARY_DIR}/kit/korvawiz.tpl @ONLY)

# Compiles a program's resource script into `target`. windres writes no dependency file, so the
# script is rebuilt whenever anything it can pull in changes: the headers and icons beside it,
# the version header and the manifests.
function(korva_add_resources target script)
  get_filename_component(folder ${script} DIRECTORY)
  file(GLOB beside CONFIGURE_DEPENDS ${folder}/*.h ${folder}/*.ico)
  target_sources(${target} PRIVATE ${script})
  target_include_directories(${target} PRIVATE ${KORVA_GENERATED_RESOURCES})
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS
    "${beside};${KORVA_VERSION_HEADER};${KORVA_MANIFESTS}")
endfunction()
