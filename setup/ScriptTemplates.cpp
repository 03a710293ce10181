// The texts of the generated scripts. They are Bourne shell, as the host's
// /bin/sh is: backquotes rather than $( ), "export NAME" after the
// assignment, ${1+"$@"} for the remaining arguments (an old shell turns a
// bare "$@" without arguments into one empty argument).
//
// The queue scripts run for every print job, with titles, user names and
// options chosen by whoever printed. Those values are only ever expanded,
// never evaluated; file name generation is switched off ("set -f"), so a
// title such as "*" stays a word and is not replaced by the names of the
// files in the current directory.
#include "Scripts.h"

const char* const ScriptShShell = "#!/bin/sh";

const char* const ScriptBanner =
    "######################################################################\n"
    "#   lumo printing system: written by the Tarvo installer, which      #\n"
    "#   writes it again, whole, at every installation.                   #\n"
    "#   Copyright (c) %s Tarvo. All rights reserved.                   #\n"
    "######################################################################\n"
    "\n"
    "\n";

// The start shared by the three queue scripts: the application directory,
// the printing system named in .nv_cfg (the last known word wins; V5 when
// there is none) and the helpers the branches use.
#define QUEUE_SCRIPT_START(extra)                                                  \
    "ToolPath=\"%s\"\n"                                                            \
    "CfgFlags=`cat \"${ToolPath}/.nv_cfg\" 2>/dev/null`\n" extra                   \
    "\n"                                                                           \
    "set -f\n"                                                                     \
    "flConfig=\n"                                                                  \
    "for Flag in $CfgFlags\n"                                                      \
    "do\n"                                                                         \
    "    case $Flag in\n"                                                          \
    "    LPRng | V5 | AIX | BSD | CUPS) flConfig=$Flag ;;\n"                      \
    "    esac\n"                                                                   \
    "done\n"                                                                       \
    "\n"                                                                           \
    "# Prints its argument as it is (echo would take backslashes or a\n"          \
    "# leading -n as its own).\n"                                                  \
    "Print()\n"                                                                    \
    "{\n"                                                                          \
    "    printf '%%s\\n' \"$1\"\n"                                                 \
    "}\n"                                                                          \
    "\n"                                                                           \
    "# The value of the filter argument $2 without its option letters $1.\n"      \
    "OptionValue()\n"                                                              \
    "{\n"                                                                          \
    "    Print \"$2\" | sed -e \"s/^$1//\"\n"                                      \
    "}\n"                                                                          \
    "\n"                                                                           \
    "# The elements of the comma list $2, each with $1 in front, separated\n"     \
    "# by blanks.\n"                                                               \
    "PrefixEach()\n"                                                               \
    "{\n"                                                                          \
    "    _List=\n"                                                                 \
    "    _OldIFS=$IFS\n"                                                           \
    "    IFS=,\n"                                                                  \
    "    for _Item in $2\n"                                                        \
    "    do\n"                                                                     \
    "        [ -n \"$_Item\" ] && _List=\"${_List:+$_List }$1$_Item\"\n"           \
    "    done\n"                                                                   \
    "    IFS=$_OldIFS\n"                                                           \
    "    Print \"$_List\"\n"                                                       \
    "}\n"                                                                          \
    "\n"

const char* const TarvoPrintlumoScript = QUEUE_SCRIPT_START("") R"SH(case ${flConfig:-V5} in
AIX)
    cd "${ToolPath}"
    "${ToolPath}/AixInterface" ${1+"$@"}
    ;;
BSD)
    # lpd runs the filter in the queue's spool directory.
    NuvrinQueue=`pwd`
    NuvrinPrinter=`basename "$NuvrinQueue"`
    # Both outputs append, so neither overwrites what the other wrote.
    "${ToolPath}/nvr%stty" -d"$NuvrinPrinter" -f >>"%s.log" 2>>"%s.log"
    ;;
LPRng)
    NuvrinFileSourceDir=`pwd`
    export NuvrinFileSourceDir
    # -P<queue> -d<spool directory> -e<file,...> -Z<option,...> -n<user> -h<host>
    NuvrinQueue=`OptionValue -P "$1"`
    SPOOL_DIR=`OptionValue -d "$2"`
    NuvrinFiles=`OptionValue -e "$3"`
    FFL=`PrefixEach "${SPOOL_DIR}/" "$NuvrinFiles"`
    NuvrinOptions=`OptionValue -Z "$4"`
    options=`PrefixEach -o "$NuvrinOptions"`
    NuvrinUser_name=`OptionValue -n "$5"`
    NuvrinHost_name=`OptionValue -h "$6"`
    cd "${ToolPath}"
    "${ToolPath}/nvrlumotty" -d"${NuvrinQueue}" -f $options $FFL >>/dev/null 2>>/dev/null
    exit 0
    ;;
V5)
    # The interface is installed under the printer's name; the arguments
    # are request-id user title copies options file...
    PATH=/usr/sbin:/usr/bin
    NuvrinPrinter=`basename "$0"`
    NuvrinRequest_id=$1
    NuvrinUser_name=$2
    NuvrinTitle=`Print "$3" | sed -e 's/###.*//'`
    NuvrinCopies=$4
    NuvrinOption_list=$5
    export PATH NuvrinPrinter NuvrinRequest_id NuvrinUser_name NuvrinTitle NuvrinCopies NuvrinOption_list
    shift 5
    cd "${ToolPath}"
    "${ToolPath}/nvr%stty" -d"$NuvrinPrinter" -i ${1+"$@"}
    ;;
CUPS)
    PATH=/usr/sbin:/usr/bin
    NuvrinPrinter=$PRINTER
    NuvrinRequest_id=$1
    NuvrinUser_name=$2
    NuvrinTitle=$3
    NuvrinCopies=$4
    NuvrinOption_list=$5
    export PATH NuvrinPrinter NuvrinRequest_id NuvrinUser_name NuvrinTitle NuvrinCopies NuvrinOption_list
    shift 5
    cd "${ToolPath}"
    "${ToolPath}/nvr%stty" -d"$NuvrinPrinter" -i ${1+"$@"}
    ;;
esac
)SH";

const char* const pv4DriverScript = QUEUE_SCRIPT_START("") R"SH(# The graphics toolkit's module files, for the driver's drawing.
ExportModuleFiles()
{
    PANGO_RC_FILE="${ToolPath}/lib/gtk/modules/etc/pango/pangorc"
    GTK_IM_MODULE_FILE="${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gtk.immodules"
    GDK_PIXBUF_MODULE_FILE="${ToolPath}/lib/gtk/modules/etc/gtk-2.0/gdk-pixbuf.loaders"
    export PANGO_RC_FILE GTK_IM_MODULE_FILE GDK_PIXBUF_MODULE_FILE
}

# The words of $1 before the first one that begins with $2, each with -o
# in front.
OptionsBefore()
{
    _List=
    for _Word in $1
    do
        case $_Word in
        "$2"*) break ;;
        esac
        _List="${_List:+$_List }-o$_Word"
    done
    Print "$_List"
}

case ${flConfig:-V5} in
AIX)
    cd "${ToolPath}"
    ExportModuleFiles
    "${ToolPath}/driver" -f AIX ${1+"$@"} >/dev/null 2>&1
    exit 0
    ;;
LPRng | BSD)
    NuvrinFileSourceDir=`pwd`
    export NuvrinFileSourceDir
    # -P<printer> -d<spool directory> -e<file,...> -Z<option,...> -n<user> -h<host>
    PRINTER=`OptionValue -P "$1"`
    SPOOL_DIR=`OptionValue -d "$2"`
    NuvrinFiles=`OptionValue -e "$3"`
    FFL=`PrefixEach "${SPOOL_DIR}/" "$NuvrinFiles"`
    OptionList=`Print "$4" | sed -e 's/^-Z/-o/' -e 's/,/ -o/g'`
    UserName=`Print "$5" | sed -e 's/^-n/-u /'`
    NuvrinHost_name=`OptionValue -h "$6"`
    "${ToolPath}/driver" -d"${PRINTER}" $OptionList $FFL >/dev/null 2>&1
    exit 0
    ;;
V5)
    # The script is installed under the printer's name; the arguments are
    # request-id user title copies options file...
    PATH=/usr/sbin:/usr/bin:/bin
    PRINTER=`basename "$0"`
    NuvrinRequest_id="-o JobID=$1"
    UserName=-u`Print "$2" | sed -e 's/@.*//'`
    # The title ends before its "###" mark, as in the queue interface: what
    # follows the mark is no part of it.
    Title="-t "`Print "$3" | sed -e 's/###.*//'`
    NuvrinCopies="-oCopies=$4"
    OptList=$5
    export PATH PRINTER NuvrinRequest_id UserName Title NuvrinCopies OptList
    shift 5
    ExportModuleFiles
    OptionList=
    case `uname -s` in
    HP-UX)
        OptionList=`OptionsBefore "$OptList" -oBSD`
        ;;
    SunOS)
        LD_LIBRARY_PATH="${ToolPath}/lib:${ToolPath}/lib/gtk:/lib:/usr/lib"
        export LD_LIBRARY_PATH
        OptionList=`OptionsBefore "$OptList" flist=`
        ;;
    esac
    DISPLAY=${DISPLAY:-:0.0}
    export DISPLAY
    cd "${ToolPath}"
    "${ToolPath}/driver" -d"${PRINTER}" $NuvrinCopies $UserName $Title $OptionList ${1+"$@"} >/dev/null 2>&1
    exit 0
    ;;
CUPS)
    PATH=/usr/sbin:/usr/bin:/bin
    RequestID="-o JobID=$1"
    UserName="-u "`Print "$2" | tr -d '"'`
    Title="-t "`Print "$3" | tr -d '"'`
    Copies="-oCopies=$4"
    OptionList=
    for Option in `Print "$5" | tr -d '"'`
    do
        OptionList="${OptionList:+$OptionList }-o $Option"
    done
    shift 5
    ExportModuleFiles
    cd "${ToolPath}"
    DISPLAY=${DISPLAY:-:0.0}
    export DISPLAY
    "${ToolPath}/driver" -d"${PRINTER}" $Copies $UserName $Title $OptionList ${1+"$@"} >/dev/null 2>&1
    exit 0
    ;;
esac
)SH";

const char* const TarvoQDFScript = QUEUE_SCRIPT_START("SpoolDir=\"%s\"\n") R"SH(# Runs qdf until it succeeds, a second between attempts. A qdf that cannot
# be started at all (status 126 or 127) will not start later either: that
# status ends the attempts.
RunQdf()
{
    _exitVal=1
    while [ $_exitVal -ne 0 ]
    do
        "${ToolPath}/qdf" ${1+"$@"}
        _exitVal=$?
        case $_exitVal in
        0) ;;
        126 | 127) return $_exitVal ;;
        *) sleep 1 ;;
        esac
    done
    return 0
}

case ${flConfig:-V5} in
AIX)
    cd "${ToolPath}"
    RunQdf ${1+"$@"}
    exit $?
    ;;
BSD)
    # lpd runs the filter in the queue's spool directory, with the job on
    # standard input.
    NuvrinQueue=`pwd`
    NuvrinPrinter=`basename "$NuvrinQueue"`
    NuvrinJob="${SpoolDir}/${NuvrinPrinter}/${NuvrinPrinter}.$$"
    cat >"$NuvrinJob" || exit 1
    RunQdf "$NuvrinJob"
    _exitVal=$?
    rm -f "$NuvrinJob"
    exit $_exitVal
    ;;
LPRng)
    NuvrinQueue=`pwd`
    NuvrinPrinter=`basename "$NuvrinQueue"`
    # The jobs are the values of -f; "(stdin)" is the job on standard input,
    # kept in the queue's spool directory while qdf runs.
    NuvrinJobs=
    NuvrinStdin=
    while getopts C:A:F:H:J:L:P:Q:a:d:e:f:h:j:k:l:n:s:w:y:t:x: NuvrinOption
    do
        case $NuvrinOption in
        f)
            if [ "$OPTARG" != "(stdin)" ]
            then
                NuvrinJobs="${NuvrinJobs:+$NuvrinJobs }$OPTARG"
            elif [ -z "$NuvrinStdin" ]
            then
                NuvrinStdin="${SPOOL_DIR:-$NuvrinQueue}/${NuvrinPrinter}.$$"
                cat >"$NuvrinStdin" || exit 1
                NuvrinJobs="${NuvrinJobs:+$NuvrinJobs }$NuvrinStdin"
            fi
            ;;
        esac
    done
    RunQdf $NuvrinJobs
    _exitVal=$?
    [ -z "$NuvrinStdin" ] || rm -f "$NuvrinStdin"
    exit $_exitVal
    ;;
V5)
    # The script is installed under the printer's name; the arguments are
    # request-id user title copies options file...
    PATH=/usr/sbin:/usr/bin
    NuvrinPrinter=`basename "$0"`
    NuvrinRequest_id=$1
    NuvrinUser_name=$2
    NuvrinTitle=$3
    NuvrinCopies=$4
    NuvrinOption_list=$5
    export PATH NuvrinPrinter NuvrinRequest_id NuvrinUser_name NuvrinTitle NuvrinCopies NuvrinOption_list
    shift 5
    cd "${ToolPath}"
    RunQdf ${1+"$@"}
    exit $?
    ;;
CUPS)
    PATH=/usr/sbin:/usr/bin
    NuvrinPrinter=$PRINTER
    NuvrinRequest_id=$1
    NuvrinUser_name=$2
    NuvrinTitle=$3
    NuvrinCopies=$4
    NuvrinOption_list=$5
    export PATH NuvrinPrinter NuvrinRequest_id NuvrinUser_name NuvrinTitle NuvrinCopies NuvrinOption_list
    shift 5
    cd "${ToolPath}"
    RunQdf ${1+"$@"}
    exit $?
    ;;
esac
)SH";

#undef QUEUE_SCRIPT_START

const char* const SimpleScript = R"SH(
NuvrinFileSourceDir=`pwd`
export NuvrinFileSourceDir

cd "%s"
exec "%s/%s" ${1+"$@"}
)SH";
