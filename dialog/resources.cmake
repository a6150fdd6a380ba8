# The setup dialog's resources (template 5000, picture 5001, the version
# resource), compiled by windres into Doruzeda_DO.dll.
enable_language(RC)

set(DORUZEDA_RESOURCE_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/Doruzeda_DO.rc)
target_sources(Doruzeda_DO PRIVATE ${DORUZEDA_RESOURCE_SCRIPT})
# The preprocessor's scan sees resource.h, but not the picture that the
# script names in a BITMAP statement.
set_source_files_properties(${DORUZEDA_RESOURCE_SCRIPT} TARGET_DIRECTORY Doruzeda_DO
    PROPERTIES OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/connector.bmp)
