// The installer's message catalog: 71 texts in six languages, chosen once
// per run from LANG.
//
// Texts are printf formats. The callers pass the arguments of the English
// text, so every translation must carry the same conversions in the same
// order; the compiler checks that below. Ids 15 and 16 are lines of a shell
// script and stay literal in every language. The yes/no prompt (63) keeps
// "[yn]" in every language: the installer only understands y, yes, n and no.
#include <cstdlib>
#include <cstring>
#include <string>

#include "installer/setup.h"

const char *const *pCurLang = nullptr;

constexpr const char *NLS_ENGLISH[NLS_SETUP_COUNT] = {
    /*  0 */ "~e Exit Help",
    /*  1 */ "~c Contents",
    /*  2 */ "~b Back",
    /*  3 */ "ERROR: couldn't open %s",
    /*  4 */
    "Unable to eject diskette.\nPlease exit out of any other application (filemanager, shell) that may be using the floppy drive. and press enter\n",
    /*  5 */ "Unable to detect the diskette.\n",
    /*  6 */ "Please insert install diskette %i and press enter",
    /*  7 */ "\nEnter the new installation directory [%s]: ",
    /*  8 */ "Do you want to use %s",
    /*  9 */ "Do you want to return to Setup Menu",
    /* 10 */ "This entry must be a full path to the installation directory.\n",
    /* 11 */ "You must specify an installation directory which will be used",
    /* 12 */ "to install the Norvo directory along with its support files and",
    /* 13 */ "directories. This utility will create the install directory",
    /* 14 */ "if it doesn't already exist.",
    /* 15 */ "\t\t\"wrong number of arguments to interface program\" \\\n",
    /* 16 */ "\t\t\"consult your system administrator\" \\\n",
    /* 17 */ "to create the installation site. This utility will create the",
    /* 18 */ "install directory if it doesn't already exist.",
    /* 19 */ "ERROR: can't locate install diskette 0\n",
    /* 20 */
    "\nWarning defining another installation directory will invalidate any defined print queues [%s]\n ",
    /* 21 */ "can't open file, %sInstall/disks",
    /* 22 */ "\nCreating diskette %i ",
    /* 23 */ "\nPlease insert DOS formatted diskette (%i) and press enter",
    /* 24 */ "can't open file, /floppy/floppy0/disks\n",
    /* 25 */ "Please insert install diskette %i and press enter\n",
    /* 26 */ "can't open file, %s/disks\n",
    /* 27 */ "\nImplementing configuration\n",
    /* 28 */ "stop all",
    /* 29 */ "\nUnable to locate device /dev/%s \n",
    /* 30 */ "Enter the client's name before registering it.\nPress <Return> to continue",
    /* 31 */ "\nStarting Norvo print daemon.\n",
    /* 32 */ "\nStopping Norvo print daemon.\n",
    /* 33 */ "\nRemoving Existing Printers \n",
    /* 34 */ "Enter the name of the printer to remove: ",
    /* 35 */ "%s is logged in\nYou must become root to run %s\n",
    /* 36 */ "\nPress <Return> to continue. ",
    /* 37 */ "\nEnter the name of the printer to remove: ",
    /* 38 */ "%s has been saved. Do want to update it",
    /* 39 */ "                  offset_files size total will be used to reduce disk1 file. \n",
    /* 40 */ "_disabled,_enabled",
    /* 41 */ "_No,_Yes",
    /* 42 */ "\nExisting installation directory [%s]\n ",
    /* 43 */ "Existing printer list:\n ",
    /* 44 */ "Saved printer list:\n",
    /* 45 */ "none,GUI,TTY",
    /* 46 */ "_workstation to printer,_workstation to print server,_print server to printer",
    /* 47 */ "_TCP/IP,_local device",
    /* 48 */ "_default features,_custom feature selection",
    /* 49 */
    "There isn't enough space in %s to perform the installation activities. The temporary work area should be at least %e bytes. Restart the installation procedure using a work area that has enough space. \nie: 1. Use /new_work_area_path in place of /tmp\n    2. Run `setup /new_work_area_path`\n",
    /* 50 */ "_none,    ,_TTY",
    /* 51 */ "\nUnable to locate ppd files ppd/* \n",
    /* 52 */ "Please insert install diskette %i\n",
    /* 53 */ "Please insert DOS formatted diskette (%i)\n",
    /* 54 */
    "The following packages must be removed to insure proper installation:\n %s\nDo want to continue with the upgrade",
    /* 55 */
    "There isn't enough space in %s to perform the installation activities. The install area should be at least %e bytes. Restart the installation procedure using an install area that has enough space. \nie: 1. Use /new_install_path in place of the default location\n    2. Run 'setup install /new_install_path'\n",
    /* 56 */
    "There isn't enough space to perform the installation activities. As you are using a working directory, %s on the same partition as the install directory you have selected, %s this install requires %e bytes free. Please re-run the install specifing a different location for a working directory or install directory. Please see the readme if you need help with the syntax.",
    /* 57 */ "",
    /* 58 */ "setup: ERROR",
    /* 59 */ "killed NPrintD %s\n",
    /* 60 */ "failed ts get version",
    /* 61 */
    "\nERROR: You are trying to load the wrong version of the Halcyra Services for Unix Systems software to this machine.\n",
    /* 62 */
    "\nIf you currently have %s printer software installed that uses NPrintD\nprint daemon, you must delete all your %s print queues prior to installing\nthis package.\n\nNOTE: NPrintD is located in <install directory>/%s/%s\n",
    /* 63 */ "\nDo You want to continue with the installation? [yn] ",
    /* 64 */ "Reading diskette %i\n",
    /* 65 */ "Could not determine how much space needed for install, missing isize.\n",
    /* 66 */
    "\nThe following processes are running.\nThe installer can not continue until these terminate:\n",
    /* 67 */ "Would you like to:\n",
    /* 68 */ "1.  Wait 30 seconds for these processes to terminate\n",
    /* 69 */ "2.  Quit the installation\n",
    /* 70 */ "\nEnter a selection:  ",
};

constexpr const char *NLS_SPANISH[NLS_SETUP_COUNT] = {
    /*  0 */ "~s Salir de la ayuda",
    /*  1 */ "~c Contenido",
    /*  2 */ "~a Atrás",
    /*  3 */ "ERROR: no se pudo abrir %s",
    /*  4 */
    "No se puede expulsar el disquete.\nCierre cualquier otra aplicación (administrador de archivos, shell) que pueda estar usando la disquetera y pulse Intro\n",
    /*  5 */ "No se detecta el disquete.\n",
    /*  6 */ "Inserte el disquete de instalación %i y pulse Intro",
    /*  7 */ "\nIntroduzca el nuevo directorio de instalación [%s]: ",
    /*  8 */ "Desea usar %s",
    /*  9 */ "Desea volver al menú de instalación",
    /* 10 */ "Esta entrada debe ser la ruta completa del directorio de instalación.\n",
    /* 11 */ "Debe indicar un directorio de instalación que se utilizará",
    /* 12 */ "para instalar el directorio Norvo junto con sus archivos y",
    /* 13 */ "directorios de soporte. Esta utilidad creará el directorio de instalación",
    /* 14 */ "si aún no existe.",
    /* 15 */ NLS_ENGLISH[15],
    /* 16 */ NLS_ENGLISH[16],
    /* 17 */ "para crear el sitio de instalación. Esta utilidad creará el",
    /* 18 */ "directorio de instalación si aún no existe.",
    /* 19 */ "ERROR: no se encuentra el disquete de instalación 0\n",
    /* 20 */
    "\nAtención: si define otro directorio de instalación, las colas de impresión definidas dejarán de ser válidas [%s]\n ",
    /* 21 */ "no se puede abrir el archivo %sInstall/disks",
    /* 22 */ "\nCreando el disquete %i ",
    /* 23 */ "\nInserte un disquete con formato DOS (%i) y pulse Intro",
    /* 24 */ "no se puede abrir el archivo /floppy/floppy0/disks\n",
    /* 25 */ "Inserte el disquete de instalación %i y pulse Intro\n",
    /* 26 */ "no se puede abrir el archivo %s/disks\n",
    /* 27 */ "\nAplicando la configuración\n",
    /* 28 */ "detener todo",
    /* 29 */ "\nNo se encuentra el dispositivo /dev/%s \n",
    /* 30 */ "Introduzca el nombre del cliente antes de registrarlo.\nPulse <Intro> para continuar",
    /* 31 */ "\nIniciando el daemon de impresión de Norvo.\n",
    /* 32 */ "\nDeteniendo el daemon de impresión de Norvo.\n",
    /* 33 */ "\nEliminando las impresoras existentes \n",
    /* 34 */ "Introduzca el nombre de la impresora que desea eliminar: ",
    /* 35 */ "%s ha iniciado la sesión\nDebe ser root para ejecutar %s\n",
    /* 36 */ "\nPulse <Intro> para continuar. ",
    /* 37 */ "\nIntroduzca el nombre de la impresora que desea eliminar: ",
    /* 38 */ "%s ya se ha guardado. Desea actualizarlo",
    /* 39 */
    "                  se usará el tamaño total de offset_files para reducir el archivo disk1. \n",
    /* 40 */ "_desactivado,_activado",
    /* 41 */ "_No,_Sí",
    /* 42 */ "\nDirectorio de instalación existente [%s]\n ",
    /* 43 */ "Lista de impresoras existentes:\n ",
    /* 44 */ "Lista de impresoras guardadas:\n",
    /* 45 */ "ninguna,GUI,TTY",
    /* 46 */
    "_estación de trabajo a impresora,_estación de trabajo a servidor de impresión,_servidor de impresión a impresora",
    /* 47 */ "_TCP/IP,_dispositivo local",
    /* 48 */ "_funciones predeterminadas,_selección personalizada de funciones",
    /* 49 */
    "No hay espacio suficiente en %s para llevar a cabo la instalación. El área de trabajo temporal debe tener al menos %e bytes. Vuelva a iniciar la instalación con un área de trabajo que tenga espacio suficiente. \np. ej.: 1. Use /nueva_ruta_de_trabajo en lugar de /tmp\n    2. Ejecute `setup /nueva_ruta_de_trabajo`\n",
    /* 50 */ "_ninguna,    ,_TTY",
    /* 51 */ "\nNo se encuentran los archivos ppd ppd/* \n",
    /* 52 */ "Inserte el disquete de instalación %i\n",
    /* 53 */ "Inserte un disquete con formato DOS (%i)\n",
    /* 54 */
    "Para garantizar una instalación correcta, deben eliminarse los siguientes paquetes:\n %s\nDesea continuar con la actualización",
    /* 55 */
    "No hay espacio suficiente en %s para llevar a cabo la instalación. El área de instalación debe tener al menos %e bytes. Vuelva a iniciar la instalación con un área de instalación que tenga espacio suficiente. \np. ej.: 1. Use /nueva_ruta_de_instalacion en lugar de la ubicación predeterminada\n    2. Ejecute 'setup install /nueva_ruta_de_instalacion'\n",
    /* 56 */
    "No hay espacio suficiente para llevar a cabo la instalación. Como el directorio de trabajo %s está en la misma partición que el directorio de instalación elegido, %s, esta instalación necesita %e bytes libres. Vuelva a ejecutar la instalación indicando otra ubicación para el directorio de trabajo o para el directorio de instalación. Consulte el archivo readme si necesita ayuda con la sintaxis.",
    /* 57 */ NLS_ENGLISH[57],
    /* 58 */ NLS_ENGLISH[58],
    /* 59 */ "NPrintD %s terminado\n",
    /* 60 */ "no se pudo obtener la versión",
    /* 61 */
    "\nERROR: Está intentando cargar en esta máquina una versión incorrecta del software Halcyra Services for Unix Systems.\n",
    /* 62 */
    "\nSi tiene instalado un software de impresión de %s que utiliza el daemon\nde impresión NPrintD, debe eliminar todas sus colas de impresión de %s antes\nde instalar este paquete.\n\nNOTA: NPrintD se encuentra en <directorio de instalación>/%s/%s\n",
    /* 63 */ "\n¿Desea continuar con la instalación? [yn] ",
    /* 64 */ "Leyendo el disquete %i\n",
    /* 65 */ "No se pudo determinar el espacio necesario para la instalación: falta isize.\n",
    /* 66 */
    "\nLos siguientes procesos están en ejecución.\nEl instalador no puede continuar hasta que terminen:\n",
    /* 67 */ "Desea:\n",
    /* 68 */ "1.  Esperar 30 segundos a que terminen estos procesos\n",
    /* 69 */ "2.  Salir de la instalación\n",
    /* 70 */ "\nSeleccione una opción:  ",
};

constexpr const char *NLS_ITALIAN[NLS_SETUP_COUNT] = {
    /*  0 */ "~e Esci dalla guida",
    /*  1 */ "~s Sommario",
    /*  2 */ "~i Indietro",
    /*  3 */ "ERRORE: impossibile aprire %s",
    /*  4 */
    "Impossibile espellere il dischetto.\nChiudere qualsiasi altra applicazione (file manager, shell) che possa utilizzare l'unità floppy e premere Invio\n",
    /*  5 */ "Impossibile rilevare il dischetto.\n",
    /*  6 */ "Inserire il dischetto di installazione %i e premere Invio",
    /*  7 */ "\nImmettere la nuova directory di installazione [%s]: ",
    /*  8 */ "Utilizzare %s",
    /*  9 */ "Tornare al menu di installazione",
    /* 10 */ "Questo valore deve essere il percorso completo della directory di installazione.\n",
    /* 11 */ "È necessario specificare una directory di installazione che verrà usata",
    /* 12 */ "per installare la directory Norvo insieme ai relativi file e",
    /* 13 */ "directory di supporto. Questa utilità creerà la directory di installazione",
    /* 14 */ "se non esiste già.",
    /* 15 */ NLS_ENGLISH[15],
    /* 16 */ NLS_ENGLISH[16],
    /* 17 */ "per creare il sito di installazione. Questa utilità creerà la",
    /* 18 */ "directory di installazione se non esiste già.",
    /* 19 */ "ERRORE: impossibile trovare il dischetto di installazione 0\n",
    /* 20 */
    "\nAttenzione: la definizione di un'altra directory di installazione renderà non valide le code di stampa definite [%s]\n ",
    /* 21 */ "impossibile aprire il file %sInstall/disks",
    /* 22 */ "\nCreazione del dischetto %i ",
    /* 23 */ "\nInserire un dischetto formattato DOS (%i) e premere Invio",
    /* 24 */ "impossibile aprire il file /floppy/floppy0/disks\n",
    /* 25 */ "Inserire il dischetto di installazione %i e premere Invio\n",
    /* 26 */ "impossibile aprire il file %s/disks\n",
    /* 27 */ "\nApplicazione della configurazione\n",
    /* 28 */ "arresta tutto",
    /* 29 */ "\nImpossibile trovare il dispositivo /dev/%s \n",
    /* 30 */ "Immettere il nome del client prima di registrarlo.\nPremere <Invio> per continuare",
    /* 31 */ "\nAvvio del daemon di stampa Norvo.\n",
    /* 32 */ "\nArresto del daemon di stampa Norvo.\n",
    /* 33 */ "\nRimozione delle stampanti esistenti \n",
    /* 34 */ "Immettere il nome della stampante da rimuovere: ",
    /* 35 */ "%s ha effettuato l'accesso\nÈ necessario essere root per eseguire %s\n",
    /* 36 */ "\nPremere <Invio> per continuare. ",
    /* 37 */ "\nImmettere il nome della stampante da rimuovere: ",
    /* 38 */ "%s è già stato salvato. Aggiornarlo",
    /* 39 */
    "                  la dimensione totale di offset_files verrà usata per ridurre il file disk1. \n",
    /* 40 */ "_disattivato,_attivato",
    /* 41 */ "_No,_Sì",
    /* 42 */ "\nDirectory di installazione esistente [%s]\n ",
    /* 43 */ "Elenco delle stampanti esistenti:\n ",
    /* 44 */ "Elenco delle stampanti salvate:\n",
    /* 45 */ "nessuna,GUI,TTY",
    /* 46 */
    "_workstation a stampante,_workstation a server di stampa,_server di stampa a stampante",
    /* 47 */ "_TCP/IP,_dispositivo locale",
    /* 48 */ "_funzioni predefinite,_selezione personalizzata delle funzioni",
    /* 49 */
    "Spazio insufficiente in %s per eseguire l'installazione. L'area di lavoro temporanea deve essere di almeno %e byte. Riavviare la procedura di installazione utilizzando un'area di lavoro con spazio sufficiente. \nad es.: 1. Usare /nuovo_percorso_di_lavoro al posto di /tmp\n    2. Eseguire `setup /nuovo_percorso_di_lavoro`\n",
    /* 50 */ "_nessuna,    ,_TTY",
    /* 51 */ "\nImpossibile trovare i file ppd ppd/* \n",
    /* 52 */ "Inserire il dischetto di installazione %i\n",
    /* 53 */ "Inserire un dischetto formattato DOS (%i)\n",
    /* 54 */
    "Per garantire una corretta installazione è necessario rimuovere i seguenti pacchetti:\n %s\nContinuare con l'aggiornamento",
    /* 55 */
    "Spazio insufficiente in %s per eseguire l'installazione. L'area di installazione deve essere di almeno %e byte. Riavviare la procedura di installazione utilizzando un'area di installazione con spazio sufficiente. \nad es.: 1. Usare /nuovo_percorso_di_installazione al posto della posizione predefinita\n    2. Eseguire 'setup install /nuovo_percorso_di_installazione'\n",
    /* 56 */
    "Spazio insufficiente per eseguire l'installazione. Poiché la directory di lavoro %s si trova sulla stessa partizione della directory di installazione selezionata, %s, questa installazione richiede %e byte liberi. Eseguire di nuovo l'installazione specificando una posizione diversa per la directory di lavoro o per la directory di installazione. Per informazioni sulla sintassi consultare il file readme.",
    /* 57 */ NLS_ENGLISH[57],
    /* 58 */ "setup: ERRORE",
    /* 59 */ "NPrintD %s terminato\n",
    /* 60 */ "impossibile ottenere la versione",
    /* 61 */
    "\nERRORE: si sta tentando di caricare su questo computer una versione errata del software Halcyra Services for Unix Systems.\n",
    /* 62 */
    "\nSe è installato un software di stampa %s che utilizza il daemon di stampa\nNPrintD, è necessario eliminare tutte le code di stampa %s prima di installare\nquesto pacchetto.\n\nNOTA: NPrintD si trova in <directory di installazione>/%s/%s\n",
    /* 63 */ "\nContinuare con l'installazione? [yn] ",
    /* 64 */ "Lettura del dischetto %i\n",
    /* 65 */ "Impossibile determinare lo spazio necessario per l'installazione: isize mancante.\n",
    /* 66 */
    "\nI seguenti processi sono in esecuzione.\nL'installazione non può continuare finché non terminano:\n",
    /* 67 */ "Scegliere:\n",
    /* 68 */ "1.  Attendere 30 secondi che questi processi terminino\n",
    /* 69 */ "2.  Uscire dall'installazione\n",
    /* 70 */ "\nImmettere una scelta:  ",
};

constexpr const char *NLS_FRENCH[NLS_SETUP_COUNT] = {
    /*  0 */ "~q Quitter l'aide",
    /*  1 */ "~s Sommaire",
    /*  2 */ "~r Retour",
    /*  3 */ "ERREUR : impossible d'ouvrir %s",
    /*  4 */
    "Impossible d'éjecter la disquette.\nQuittez toute autre application (gestionnaire de fichiers, shell) susceptible d'utiliser le lecteur de disquettes, puis appuyez sur Entrée\n",
    /*  5 */ "Impossible de détecter la disquette.\n",
    /*  6 */ "Insérez la disquette d'installation %i et appuyez sur Entrée",
    /*  7 */ "\nEntrez le nouveau répertoire d'installation [%s] : ",
    /*  8 */ "Voulez-vous utiliser %s",
    /*  9 */ "Voulez-vous revenir au menu d'installation",
    /* 10 */ "Cette entrée doit être le chemin complet du répertoire d'installation.\n",
    /* 11 */ "Vous devez indiquer un répertoire d'installation qui servira",
    /* 12 */ "à installer le répertoire Norvo ainsi que ses fichiers et",
    /* 13 */ "répertoires annexes. Cet utilitaire créera le répertoire d'installation",
    /* 14 */ "s'il n'existe pas encore.",
    /* 15 */ NLS_ENGLISH[15],
    /* 16 */ NLS_ENGLISH[16],
    /* 17 */ "à créer le site d'installation. Cet utilitaire créera le",
    /* 18 */ "répertoire d'installation s'il n'existe pas encore.",
    /* 19 */ "ERREUR : disquette d'installation 0 introuvable\n",
    /* 20 */
    "\nAttention : définir un autre répertoire d'installation invalidera toutes les files d'impression définies [%s]\n ",
    /* 21 */ "impossible d'ouvrir le fichier %sInstall/disks",
    /* 22 */ "\nCréation de la disquette %i ",
    /* 23 */ "\nInsérez une disquette formatée DOS (%i) et appuyez sur Entrée",
    /* 24 */ "impossible d'ouvrir le fichier /floppy/floppy0/disks\n",
    /* 25 */ "Insérez la disquette d'installation %i et appuyez sur Entrée\n",
    /* 26 */ "impossible d'ouvrir le fichier %s/disks\n",
    /* 27 */ "\nApplication de la configuration\n",
    /* 28 */ "tout arrêter",
    /* 29 */ "\nPériphérique /dev/%s introuvable \n",
    /* 30 */ "Entrez le nom du client avant de l'enregistrer.\nAppuyez sur <Entrée> pour continuer",
    /* 31 */ "\nDémarrage du démon d'impression Norvo.\n",
    /* 32 */ "\nArrêt du démon d'impression Norvo.\n",
    /* 33 */ "\nSuppression des imprimantes existantes \n",
    /* 34 */ "Entrez le nom de l'imprimante à supprimer : ",
    /* 35 */ "%s est connecté\nVous devez être root pour exécuter %s\n",
    /* 36 */ "\nAppuyez sur <Entrée> pour continuer. ",
    /* 37 */ "\nEntrez le nom de l'imprimante à supprimer : ",
    /* 38 */ "%s a été enregistré. Voulez-vous le mettre à jour",
    /* 39 */
    "                  la taille totale de offset_files servira à réduire le fichier disk1. \n",
    /* 40 */ "_désactivé,_activé",
    /* 41 */ "_Non,_Oui",
    /* 42 */ "\nRépertoire d'installation existant [%s]\n ",
    /* 43 */ "Liste des imprimantes existantes :\n ",
    /* 44 */ "Liste des imprimantes enregistrées :\n",
    /* 45 */ "aucune,GUI,TTY",
    /* 46 */
    "_poste de travail vers imprimante,_poste de travail vers serveur d'impression,_serveur d'impression vers imprimante",
    /* 47 */ "_TCP/IP,_périphérique local",
    /* 48 */ "_fonctions par défaut,_sélection personnalisée des fonctions",
    /* 49 */
    "Il n'y a pas assez d'espace dans %s pour effectuer l'installation. La zone de travail temporaire doit disposer d'au moins %e octets. Relancez la procédure d'installation avec une zone de travail disposant d'assez d'espace. \npar ex. : 1. Utilisez /nouveau_chemin_de_travail à la place de /tmp\n    2. Lancez `setup /nouveau_chemin_de_travail`\n",
    /* 50 */ "_aucune,    ,_TTY",
    /* 51 */ "\nFichiers ppd ppd/* introuvables \n",
    /* 52 */ "Insérez la disquette d'installation %i\n",
    /* 53 */ "Insérez une disquette formatée DOS (%i)\n",
    /* 54 */
    "Les paquetages suivants doivent être supprimés pour garantir une installation correcte :\n %s\nVoulez-vous poursuivre la mise à jour",
    /* 55 */
    "Il n'y a pas assez d'espace dans %s pour effectuer l'installation. La zone d'installation doit disposer d'au moins %e octets. Relancez la procédure d'installation avec une zone d'installation disposant d'assez d'espace. \npar ex. : 1. Utilisez /nouveau_chemin_d_installation à la place de l'emplacement par défaut\n    2. Lancez 'setup install /nouveau_chemin_d_installation'\n",
    /* 56 */
    "Il n'y a pas assez d'espace pour effectuer l'installation. Comme le répertoire de travail %s se trouve sur la même partition que le répertoire d'installation choisi, %s, cette installation nécessite %e octets libres. Relancez l'installation en indiquant un autre emplacement pour le répertoire de travail ou le répertoire d'installation. Consultez le fichier readme si vous avez besoin d'aide sur la syntaxe.",
    /* 57 */ NLS_ENGLISH[57],
    /* 58 */ "setup : ERREUR",
    /* 59 */ "NPrintD %s arrêté\n",
    /* 60 */ "impossible d'obtenir la version",
    /* 61 */
    "\nERREUR : vous essayez de charger sur cette machine une version incorrecte du logiciel Halcyra Services for Unix Systems.\n",
    /* 62 */
    "\nSi un logiciel d'impression %s utilisant le démon d'impression NPrintD\nest actuellement installé, vous devez supprimer toutes vos files d'impression %s\navant d'installer ce paquetage.\n\nREMARQUE : NPrintD se trouve dans <répertoire d'installation>/%s/%s\n",
    /* 63 */ "\nVoulez-vous poursuivre l'installation ? [yn] ",
    /* 64 */ "Lecture de la disquette %i\n",
    /* 65 */ "Impossible de déterminer l'espace nécessaire à l'installation : isize est absent.\n",
    /* 66 */
    "\nLes processus suivants sont en cours d'exécution.\nL'installation ne peut pas continuer tant qu'ils ne sont pas terminés :\n",
    /* 67 */ "Voulez-vous :\n",
    /* 68 */ "1.  Attendre 30 secondes que ces processus se terminent\n",
    /* 69 */ "2.  Quitter l'installation\n",
    /* 70 */ "\nEntrez votre choix :  ",
};

constexpr const char *NLS_GERMAN[NLS_SETUP_COUNT] = {
    /*  0 */ "~b Hilfe beenden",
    /*  1 */ "~i Inhalt",
    /*  2 */ "~z Zurück",
    /*  3 */ "FEHLER: %s konnte nicht geöffnet werden",
    /*  4 */
    "Die Diskette kann nicht ausgeworfen werden.\nBitte beenden Sie alle anderen Anwendungen (Dateimanager, Shell), die das Diskettenlaufwerk verwenden könnten, und drücken Sie die Eingabetaste\n",
    /*  5 */ "Die Diskette wurde nicht erkannt.\n",
    /*  6 */ "Bitte legen Sie die Installationsdiskette %i ein und drücken Sie die Eingabetaste",
    /*  7 */ "\nGeben Sie das neue Installationsverzeichnis ein [%s]: ",
    /*  8 */ "Möchten Sie %s verwenden",
    /*  9 */ "Möchten Sie zum Setup-Menü zurückkehren",
    /* 10 */ "Diese Eingabe muss der vollständige Pfad des Installationsverzeichnisses sein.\n",
    /* 11 */ "Sie müssen ein Installationsverzeichnis angeben, in dem",
    /* 12 */ "das Norvo-Verzeichnis mit seinen zugehörigen Dateien und",
    /* 13 */ "Verzeichnissen installiert wird. Dieses Programm legt das Installationsverzeichnis",
    /* 14 */ "an, falls es noch nicht existiert.",
    /* 15 */ NLS_ENGLISH[15],
    /* 16 */ NLS_ENGLISH[16],
    /* 17 */ "die Installation angelegt wird. Dieses Programm legt das",
    /* 18 */ "Installationsverzeichnis an, falls es noch nicht existiert.",
    /* 19 */ "FEHLER: Installationsdiskette 0 nicht gefunden\n",
    /* 20 */
    "\nWarnung: Wenn Sie ein anderes Installationsverzeichnis festlegen, werden alle eingerichteten Druckwarteschlangen ungültig [%s]\n ",
    /* 21 */ "Datei %sInstall/disks kann nicht geöffnet werden",
    /* 22 */ "\nDiskette %i wird erstellt ",
    /* 23 */
    "\nBitte legen Sie eine DOS-formatierte Diskette (%i) ein und drücken Sie die Eingabetaste",
    /* 24 */ "Datei /floppy/floppy0/disks kann nicht geöffnet werden\n",
    /* 25 */ "Bitte legen Sie die Installationsdiskette %i ein und drücken Sie die Eingabetaste\n",
    /* 26 */ "Datei %s/disks kann nicht geöffnet werden\n",
    /* 27 */ "\nKonfiguration wird übernommen\n",
    /* 28 */ "alle anhalten",
    /* 29 */ "\nGerät /dev/%s nicht gefunden \n",
    /* 30 */
    "Geben Sie den Namen des Clients ein, bevor Sie ihn registrieren.\nDrücken Sie <Eingabe>, um fortzufahren",
    /* 31 */ "\nNorvo-Druckdaemon wird gestartet.\n",
    /* 32 */ "\nNorvo-Druckdaemon wird beendet.\n",
    /* 33 */ "\nVorhandene Drucker werden entfernt \n",
    /* 34 */ "Name des zu entfernenden Druckers: ",
    /* 35 */ "%s ist angemeldet\nSie müssen root sein, um %s auszuführen\n",
    /* 36 */ "\nDrücken Sie <Eingabe>, um fortzufahren. ",
    /* 37 */ "\nName des zu entfernenden Druckers: ",
    /* 38 */ "%s wurde gespeichert. Möchten Sie es aktualisieren",
    /* 39 */
    "                  die Gesamtgröße von offset_files wird zum Verkleinern der Datei disk1 verwendet. \n",
    /* 40 */ "_deaktiviert,_aktiviert",
    /* 41 */ "_Nein,_Ja",
    /* 42 */ "\nVorhandenes Installationsverzeichnis [%s]\n ",
    /* 43 */ "Liste der vorhandenen Drucker:\n ",
    /* 44 */ "Liste der gespeicherten Drucker:\n",
    /* 45 */ "keine,GUI,TTY",
    /* 46 */ "_Arbeitsplatz zu Drucker,_Arbeitsplatz zu Druckserver,_Druckserver zu Drucker",
    /* 47 */ "_TCP/IP,_lokales Gerät",
    /* 48 */ "_Standardfunktionen,_benutzerdefinierte Funktionsauswahl",
    /* 49 */
    "In %s ist nicht genügend Speicherplatz für die Installation vorhanden. Der temporäre Arbeitsbereich muss mindestens %e Byte groß sein. Starten Sie die Installation erneut mit einem Arbeitsbereich, der genügend Platz bietet. \nz. B.: 1. Verwenden Sie /neuer_arbeitsbereich anstelle von /tmp\n    2. Führen Sie `setup /neuer_arbeitsbereich` aus\n",
    /* 50 */ "_keine,    ,_TTY",
    /* 51 */ "\nPPD-Dateien ppd/* nicht gefunden \n",
    /* 52 */ "Bitte legen Sie die Installationsdiskette %i ein\n",
    /* 53 */ "Bitte legen Sie eine DOS-formatierte Diskette (%i) ein\n",
    /* 54 */
    "Die folgenden Pakete müssen entfernt werden, damit die Installation korrekt ausgeführt werden kann:\n %s\nMöchten Sie mit der Aktualisierung fortfahren",
    /* 55 */
    "In %s ist nicht genügend Speicherplatz für die Installation vorhanden. Der Installationsbereich muss mindestens %e Byte groß sein. Starten Sie die Installation erneut mit einem Installationsbereich, der genügend Platz bietet. \nz. B.: 1. Verwenden Sie /neuer_installationspfad anstelle des Standardorts\n    2. Führen Sie 'setup install /neuer_installationspfad' aus\n",
    /* 56 */
    "Für die Installation ist nicht genügend Speicherplatz vorhanden. Da das Arbeitsverzeichnis %s auf derselben Partition liegt wie das gewählte Installationsverzeichnis %s, benötigt diese Installation %e Byte freien Speicher. Bitte starten Sie die Installation erneut und geben Sie einen anderen Ort für das Arbeits- oder das Installationsverzeichnis an. Hilfe zur Syntax finden Sie in der Readme-Datei.",
    /* 57 */ NLS_ENGLISH[57],
    /* 58 */ "setup: FEHLER",
    /* 59 */ "NPrintD %s beendet\n",
    /* 60 */ "Version konnte nicht ermittelt werden",
    /* 61 */
    "\nFEHLER: Sie versuchen, eine falsche Version der Software Halcyra Services for Unix Systems auf diesen Rechner zu laden.\n",
    /* 62 */
    "\nWenn Sie derzeit %s-Druckersoftware installiert haben, die den Druckdaemon\nNPrintD verwendet, müssen Sie vor der Installation dieses Pakets alle\n%s-Druckwarteschlangen löschen.\n\nHINWEIS: NPrintD befindet sich in <Installationsverzeichnis>/%s/%s\n",
    /* 63 */ "\nMöchten Sie mit der Installation fortfahren? [yn] ",
    /* 64 */ "Diskette %i wird gelesen\n",
    /* 65 */
    "Der für die Installation benötigte Speicherplatz kann nicht ermittelt werden, isize fehlt.\n",
    /* 66 */
    "\nDie folgenden Prozesse laufen.\nDie Installation kann erst fortgesetzt werden, wenn sie beendet sind:\n",
    /* 67 */ "Möchten Sie:\n",
    /* 68 */ "1.  30 Sekunden warten, bis diese Prozesse beendet sind\n",
    /* 69 */ "2.  Installation abbrechen\n",
    /* 70 */ "\nBitte wählen Sie:  ",
};

constexpr const char *NLS_PORTUGUESE[NLS_SETUP_COUNT] = {
    /*  0 */ "~s Sair da ajuda",
    /*  1 */ "~c Conteúdo",
    /*  2 */ "~v Voltar",
    /*  3 */ "ERRO: não foi possível abrir %s",
    /*  4 */
    "Não foi possível ejetar o disquete.\nFeche qualquer outro aplicativo (gerenciador de arquivos, shell) que possa estar usando a unidade de disquete e pressione Enter\n",
    /*  5 */ "Não foi possível detectar o disquete.\n",
    /*  6 */ "Insira o disquete de instalação %i e pressione Enter",
    /*  7 */ "\nDigite o novo diretório de instalação [%s]: ",
    /*  8 */ "Deseja usar %s",
    /*  9 */ "Deseja voltar ao menu de instalação",
    /* 10 */ "Esta entrada deve ser o caminho completo do diretório de instalação.\n",
    /* 11 */ "Você deve especificar um diretório de instalação que será usado",
    /* 12 */ "para instalar o diretório Norvo com seus arquivos e",
    /* 13 */ "diretórios de suporte. Este utilitário criará o diretório de instalação",
    /* 14 */ "caso ele ainda não exista.",
    /* 15 */ NLS_ENGLISH[15],
    /* 16 */ NLS_ENGLISH[16],
    /* 17 */ "para criar o local de instalação. Este utilitário criará o",
    /* 18 */ "diretório de instalação caso ele ainda não exista.",
    /* 19 */ "ERRO: não foi possível localizar o disquete de instalação 0\n",
    /* 20 */
    "\nAviso: definir outro diretório de instalação invalidará todas as filas de impressão definidas [%s]\n ",
    /* 21 */ "não foi possível abrir o arquivo %sInstall/disks",
    /* 22 */ "\nCriando o disquete %i ",
    /* 23 */ "\nInsira um disquete formatado em DOS (%i) e pressione Enter",
    /* 24 */ "não foi possível abrir o arquivo /floppy/floppy0/disks\n",
    /* 25 */ "Insira o disquete de instalação %i e pressione Enter\n",
    /* 26 */ "não foi possível abrir o arquivo %s/disks\n",
    /* 27 */ "\nAplicando a configuração\n",
    /* 28 */ "parar tudo",
    /* 29 */ "\nNão foi possível localizar o dispositivo /dev/%s \n",
    /* 30 */ "Digite o nome do cliente antes de registrá-lo.\nPressione <Enter> para continuar",
    /* 31 */ "\nIniciando o daemon de impressão Norvo.\n",
    /* 32 */ "\nParando o daemon de impressão Norvo.\n",
    /* 33 */ "\nRemovendo as impressoras existentes \n",
    /* 34 */ "Digite o nome da impressora a remover: ",
    /* 35 */ "%s está conectado\nVocê precisa ser root para executar %s\n",
    /* 36 */ "\nPressione <Enter> para continuar. ",
    /* 37 */ "\nDigite o nome da impressora a remover: ",
    /* 38 */ "%s foi salvo. Deseja atualizá-lo",
    /* 39 */
    "                  o tamanho total de offset_files será usado para reduzir o arquivo disk1. \n",
    /* 40 */ "_desativado,_ativado",
    /* 41 */ "_Não,_Sim",
    /* 42 */ "\nDiretório de instalação existente [%s]\n ",
    /* 43 */ "Lista de impressoras existentes:\n ",
    /* 44 */ "Lista de impressoras salvas:\n",
    /* 45 */ "nenhuma,GUI,TTY",
    /* 46 */
    "_estação de trabalho para impressora,_estação de trabalho para servidor de impressão,_servidor de impressão para impressora",
    /* 47 */ "_TCP/IP,_dispositivo local",
    /* 48 */ "_recursos padrão,_seleção personalizada de recursos",
    /* 49 */
    "Não há espaço suficiente em %s para realizar a instalação. A área de trabalho temporária deve ter pelo menos %e bytes. Reinicie o procedimento de instalação usando uma área de trabalho com espaço suficiente. \nex.: 1. Use /novo_caminho_de_trabalho no lugar de /tmp\n    2. Execute `setup /novo_caminho_de_trabalho`\n",
    /* 50 */ "_nenhuma,    ,_TTY",
    /* 51 */ "\nNão foi possível localizar os arquivos ppd ppd/* \n",
    /* 52 */ "Insira o disquete de instalação %i\n",
    /* 53 */ "Insira um disquete formatado em DOS (%i)\n",
    /* 54 */
    "Os seguintes pacotes devem ser removidos para garantir uma instalação correta:\n %s\nDeseja continuar com a atualização",
    /* 55 */
    "Não há espaço suficiente em %s para realizar a instalação. A área de instalação deve ter pelo menos %e bytes. Reinicie o procedimento de instalação usando uma área de instalação com espaço suficiente. \nex.: 1. Use /novo_caminho_de_instalacao no lugar do local padrão\n    2. Execute 'setup install /novo_caminho_de_instalacao'\n",
    /* 56 */
    "Não há espaço suficiente para realizar a instalação. Como o diretório de trabalho %s está na mesma partição que o diretório de instalação escolhido, %s, esta instalação requer %e bytes livres. Execute a instalação novamente especificando outro local para o diretório de trabalho ou para o diretório de instalação. Consulte o arquivo readme se precisar de ajuda com a sintaxe.",
    /* 57 */ NLS_ENGLISH[57],
    /* 58 */ "setup: ERRO",
    /* 59 */ NLS_ENGLISH[59],
    /* 60 */ "não foi possível obter a versão",
    /* 61 */
    "\nERRO: Você está tentando carregar nesta máquina uma versão incorreta do software Halcyra Services for Unix Systems.\n",
    /* 62 */
    "\nSe houver um software de impressão %s instalado que use o daemon de\nimpressão NPrintD, você deve excluir todas as suas filas de impressão %s\nantes de instalar este pacote.\n\nOBSERVAÇÃO: o NPrintD está localizado em <diretório de instalação>/%s/%s\n",
    /* 63 */ "\nDeseja continuar com a instalação? [yn] ",
    /* 64 */ "Lendo o disquete %i\n",
    /* 65 */
    "Não foi possível determinar o espaço necessário para a instalação: isize não encontrado.\n",
    /* 66 */
    "\nOs seguintes processos estão em execução.\nO instalador não pode continuar até que eles terminem:\n",
    /* 67 */ "Deseja:\n",
    /* 68 */ "1.  Aguardar 30 segundos até que esses processos terminem\n",
    /* 69 */ "2.  Sair da instalação\n",
    /* 70 */ "\nDigite uma opção:  ",
};

namespace {

// The printf conversion that starts at or after *pos ("%%" is text, not a
// conversion): sets *start and *len and moves *pos behind it. False at the end.
constexpr bool NextConversion(const char *text, int *pos, int *start, int *len)
{
  for (int i = *pos; text[i]; ++i) {
    if (text[i] != '%')
      continue;
    if (text[i + 1] == '%') {
      ++i;
      continue;
    }
    int j = i + 1;
    auto in = [](char c, const char *set) {
      for (; *set; ++set)
        if (*set == c)
          return true;
      return false;
    };
    while (text[j] && in(text[j], "-+ #0'"))
      ++j;  // flags
    while (text[j] && in(text[j], "0123456789*$"))
      ++j;                 // width
    if (text[j] == '.') {  // precision
      ++j;
      while (text[j] && in(text[j], "0123456789*$"))
        ++j;
    }
    while (text[j] && in(text[j], "hlLqjzt"))
      ++j;  // length
    if (text[j])
      ++j;  // conversion
    *start = i;
    *len = j - i;
    *pos = j;
    return true;
  }
  return false;
}

// True when both texts carry the same conversions in the same order.
constexpr bool SameConversions(const char *a, const char *b)
{
  int pa = 0, pb = 0;
  for (;;) {
    int sa = 0, la = 0, sb = 0, lb = 0;
    bool ha = NextConversion(a, &pa, &sa, &la);
    bool hb = NextConversion(b, &pb, &sb, &lb);
    if (ha != hb)
      return false;
    if (!ha)
      return true;
    if (la != lb)
      return false;
    for (int k = 0; k < la; ++k)
      if (a[sa + k] != b[sb + k])
        return false;
  }
}

constexpr bool MatchesEnglish(const char *const *table)
{
  for (int id = 0; id < NLS_SETUP_COUNT; ++id)
    if (!table[id] || !SameConversions(NLS_ENGLISH[id], table[id]))
      return false;
  return true;
}

static_assert(MatchesEnglish(NLS_ENGLISH));
static_assert(MatchesEnglish(NLS_SPANISH), "Spanish text with other conversions");
static_assert(MatchesEnglish(NLS_ITALIAN), "Italian text with other conversions");
static_assert(MatchesEnglish(NLS_FRENCH), "French text with other conversions");
static_assert(MatchesEnglish(NLS_GERMAN), "German text with other conversions");
static_assert(MatchesEnglish(NLS_PORTUGUESE), "Portuguese text with other conversions");

// LANG values that select a table; position 0 (anything else) is English.
constexpr char kLangKeys[] = ",en_US,es_ES,it_IT,fr_FR,ge_GE,pr_BR";
constexpr const char *const *kLangTables[] = {
    NLS_ENGLISH, NLS_ENGLISH, NLS_SPANISH, NLS_ITALIAN, NLS_FRENCH, NLS_GERMAN, NLS_PORTUGUESE,
};

const char *const *ChooseLanguage()
{
  char *lang = std::getenv("LANG");
  if (!lang)
    return NLS_ENGLISH;
  // Drop the code set ("fr_FR.ISO8859-1" -> "fr_FR") in the environment
  // itself, so that the commands we start see the same plain name. Through
  // setenv: the string getenv returns must not be written to (it may even be
  // read-only, when LANG was set with putenv).
  if (char *dot = std::strchr(lang, '.')) {
    std::string plain(lang, dot);
    setenv("LANG", plain.c_str(), 1);
    lang = std::getenv("LANG");
  }
  int pos = FindToken(lang, kLangKeys);
  return kLangTables[pos >= 0 && pos < 7 ? pos : 0];
}

}  // namespace

const char *nlsSetupStrCvt(int id)
{
  if (!pCurLang)
    pCurLang = ChooseLanguage();
  if (id < 0 || id >= NLS_SETUP_COUNT)
    return "";
  return pCurLang[id];
}
