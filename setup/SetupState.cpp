// The installation state shared by the installer's steps.
#include "Setup.h"

char* pTarvoInstallDir = nullptr;
char* pPathToSetup = nullptr;
char* pCmdLineInstallDir = nullptr;
char* pCurrentInstallDir = nullptr;
char* pTargetInstallDir = nullptr;
char* pAppDir = nullptr;
char* pTarvoPkgName = nullptr;
const char* pBinaryInstanceCheckList = ",nvadmin,nvqadmin,nuvrin,nvrlumotty,NVQ,NVRM,qdf,driver,";
bool flCreatedTmpDir = false;
char* pCreatedWorkAreas = nullptr;
