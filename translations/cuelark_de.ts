<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>APIError</name>
    <message>
        <source>Invalid server URL.</source>
        <translation>Ungültige Server-Adresse.</translation>
    </message>
    <message>
        <source>Session expired — please sign in again.</source>
        <translation>Sitzung abgelaufen – bitte erneut anmelden.</translation>
    </message>
    <message>
        <source>Request failed (HTTP %1).</source>
        <translation>Anfrage fehlgeschlagen (HTTP %1).</translation>
    </message>
</context>
<context>
    <name>AppState</name>
    <message>
        <source>Sign-in timed out. Try again.</source>
        <translation>Die Anmeldung hat zu lange gedauert. Bitte erneut versuchen.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Song requests for DJs, in the tray.</source>
        <extracomment>The first line of the program&apos;s --help.</extracomment>
        <translation>Musikwünsche für DJs, im Systembereich.</translation>
    </message>
    <message>
        <source>Open the panel: the running Cuelark&apos;s, or that of a new start.</source>
        <extracomment>Describes the command line option --open-panel in the program&apos;s --help.</extracomment>
        <translation>Das Fenster öffnen: das des laufenden Cuelark oder das eines neuen Starts.</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <extracomment>%1 is a word on the command line that is not an option.</extracomment>
        <translation>Unerwartetes Argument „%1“.</translation>
    </message>
    <message>
        <source>Try &apos;%1&apos; for the options.</source>
        <extracomment>After a command line error; %1 is the option that lists the others.</extracomment>
        <translation>Die Optionen zeigt „%1“.</translation>
    </message>
    <message>
        <source>Cuelark is already running but does not answer.</source>
        <extracomment>On the terminal, when a second start found the first one unresponsive.</extracomment>
        <translation>Cuelark läuft bereits, antwortet aber nicht.</translation>
    </message>
</context>
<context>
    <name>DashboardView</name>
    <message>
        <source>Event</source>
        <extracomment>The label of the list of the DJ&apos;s events.</extracomment>
        <translation>Veranstaltung</translation>
    </message>
    <message>
        <source>Pending</source>
        <extracomment>A counter: how many song requests wait for an answer.</extracomment>
        <translation>Offen</translation>
    </message>
    <message>
        <source>Status</source>
        <extracomment>A counter: whether the chosen event is live or idle.</extracomment>
        <translation>Status</translation>
    </message>
    <message>
        <source>RECENT REQUESTS</source>
        <translation>NEUESTE WÜNSCHE</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>Updated %1</source>
        <translation>Aktualisiert %1</translation>
    </message>
    <message>
        <source>No events</source>
        <translation>Keine Veranstaltungen</translation>
    </message>
    <message>
        <source>Live</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Inaktiv</translation>
    </message>
    <message>
        <source>No requests yet.</source>
        <translation>Noch keine Wünsche.</translation>
    </message>
    <message>
        <source>Select an event.</source>
        <translation>Wähle eine Veranstaltung.</translation>
    </message>
    <message>
        <source>↑↓ choose · A approve · R reject · C copy</source>
        <extracomment>The keyboard shortcuts of the request list; the letters are the keys themselves.</extracomment>
        <translation>↑↓ wählen · A annehmen · R ablehnen · C kopieren</translation>
    </message>
    <message numerus="yes">
        <source>%n pending</source>
        <extracomment>What a screen reader says for the pending card; %n is the count</extracomment>
        <translation>
            <numerusform>%n offen</numerusform>
            <numerusform>%n offen</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>DecodingError</name>
    <message>
        <source>The service sent an unexpected answer (%1).</source>
        <translation>Der Dienst hat unerwartet geantwortet (%1).</translation>
    </message>
</context>
<context>
    <name>LoginView</name>
    <message>
        <source>Sign in to see your events and live request queue.</source>
        <translation>Melde dich an, um deine Veranstaltungen und die aktuellen Musikwünsche zu sehen.</translation>
    </message>
    <message>
        <source>Sign in with Browser</source>
        <translation>Im Browser anmelden</translation>
    </message>
    <message>
        <source>Finish signing in from your browser…</source>
        <translation>Schließe die Anmeldung im Browser ab…</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Opens the sign-in page in your web browser</source>
        <extracomment>Spoken after the &quot;Sign in with Browser&quot; button</extracomment>
        <translation>Öffnet die Anmeldeseite in deinem Webbrowser</translation>
    </message>
</context>
<context>
    <name>PanelFooterLinks</name>
    <message>
        <source>Check for updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>Download</source>
        <extracomment>A link to the service&apos;s download page.</extracomment>
        <translation>Download</translation>
    </message>
    <message>
        <source>Privacy</source>
        <translation>Datenschutz</translation>
    </message>
    <message>
        <source>Terms</source>
        <extracomment>A link to the service&apos;s terms of service.</extracomment>
        <translation>Bedingungen</translation>
    </message>
</context>
<context>
    <name>RefreshLoop</name>
    <message>
        <source>You are offline: the system reports no network. Cuelark refreshes as soon as it is back.</source>
        <translation>Du bist offline: Das System meldet kein Netzwerk. Cuelark aktualisiert, sobald es wieder da ist.</translation>
    </message>
</context>
<context>
    <name>RequestRow</name>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copy &quot;%1&quot;</source>
        <extracomment>The copy button&apos;s tooltip; %1 is the song&apos;s title and artist.</extracomment>
        <translation>„%1“ kopieren</translation>
    </message>
    <message>
        <source>Approved</source>
        <translation>Angenommen</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>Abgelehnt</translation>
    </message>
    <message>
        <source>Played</source>
        <translation>Gespielt</translation>
    </message>
    <message>
        <source>A approves, R rejects, C copies</source>
        <extracomment>Spoken after a request&apos;s row: the keys that act on it (the letters are the keys)</extracomment>
        <translation>A nimmt an, R lehnt ab, C kopiert</translation>
    </message>
    <message>
        <source>C copies</source>
        <translation>C kopiert</translation>
    </message>
    <message>
        <source>Approve %1 by %2</source>
        <extracomment>Spoken for a request&apos;s button; %1 is the song&apos;s title, %2 its artist</extracomment>
        <translation>%1 von %2 annehmen</translation>
    </message>
    <message>
        <source>Reject %1 by %2</source>
        <extracomment>Spoken for a request&apos;s button; %1 is the song&apos;s title, %2 its artist</extracomment>
        <translation>%1 von %2 ablehnen</translation>
    </message>
    <message>
        <source>Copy %1 by %2</source>
        <extracomment>Spoken for a request&apos;s button; %1 is the song&apos;s title, %2 its artist</extracomment>
        <translation>%1 von %2 kopieren</translation>
    </message>
</context>
<context>
    <name>SecretStore</name>
    <message>
        <source>No keyring is running.</source>
        <translation>Es läuft kein Schlüsselbund.</translation>
    </message>
    <message>
        <source>The keyring is locked.</source>
        <translation>Der Schlüsselbund ist gesperrt.</translation>
    </message>
    <message>
        <source>The keyring could not be read (%1).</source>
        <extracomment>%1 is the keyring&apos;s own error text.</extracomment>
        <translation>Der Schlüsselbund konnte nicht gelesen werden (%1).</translation>
    </message>
    <message>
        <source>The keyring did not answer; it may be waiting to be unlocked.</source>
        <translation>Der Schlüsselbund hat nicht geantwortet; vielleicht wartet er darauf, entsperrt zu werden.</translation>
    </message>
</context>
<context>
    <name>Spinner</name>
    <message>
        <source>Signing in</source>
        <translation>Anmeldung läuft</translation>
    </message>
</context>
<context>
    <name>StartAtLoginBox</name>
    <message>
        <source>Start at login</source>
        <translation>Beim Anmelden starten</translation>
    </message>
</context>
<context>
    <name>Texts</name>
    <message>
        <source>Approve</source>
        <extracomment>Accepts a song request (a button and a notification action).</extracomment>
        <translation>Annehmen</translation>
    </message>
    <message>
        <source>Reject</source>
        <extracomment>Turns a song request down (a button and a notification action).</extracomment>
        <translation>Ablehnen</translation>
    </message>
    <message>
        <source>Open Cuelark</source>
        <extracomment>Opens the panel from the tray menu or a notification.</extracomment>
        <translation>Cuelark öffnen</translation>
    </message>
    <message>
        <source>Quit</source>
        <extracomment>Ends the program (the panel&apos;s button and the tray menu).</extracomment>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>New song request</source>
        <extracomment>The title of the desktop notification for a request that just arrived.</extracomment>
        <translation>Neuer Musikwunsch</translation>
    </message>
</context>
<context>
    <name>TokenStore</name>
    <message>
        <source>Waiting for the keyring… %1 Start or unlock your keyring (such as GNOME Keyring or KWallet) and Cuelark signs you in by itself, or sign in now for this run.</source>
        <extracomment>%1 says what is wrong with the keyring, as a sentence.</extracomment>
        <translation>Warte auf den Schlüsselbund … %1 Starte oder entsperre deinen Schlüsselbund (etwa GNOME Keyring oder KWallet), dann meldet Cuelark dich von selbst an – oder melde dich jetzt für diese Sitzung an.</translation>
    </message>
    <message>
        <source>Signed in for this run only: the keyring could not keep your sign-in, so you will have to sign in again the next time Cuelark starts.</source>
        <translation>Nur für diese Sitzung angemeldet: Der Schlüsselbund konnte deine Anmeldung nicht speichern, daher musst du dich beim nächsten Start von Cuelark erneut anmelden.</translation>
    </message>
</context>
<context>
    <name>TransportError</name>
    <message>
        <source>The service did not answer in time.</source>
        <translation>Der Dienst hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>The service&apos;s answer is too large.</source>
        <translation>Die Antwort des Dienstes ist zu groß.</translation>
    </message>
    <message>
        <source>The service sent Cuelark on to another site (%1). The call was stopped and nothing was sent there.</source>
        <translation>Der Dienst hat Cuelark an eine andere Website weitergeleitet (%1). Der Aufruf wurde abgebrochen; dorthin wurde nichts gesendet.</translation>
    </message>
    <message>
        <source>The network answered with a web page instead of the service. If it asks you to sign in or accept terms, open any page in your browser first.</source>
        <translation>Das Netzwerk hat statt des Dienstes mit einer Webseite geantwortet. Wenn es eine Anmeldung oder die Zustimmung zu Bedingungen verlangt, öffnen Sie zuerst eine beliebige Seite im Browser.</translation>
    </message>
</context>
<context>
    <name>TrayToolTip</name>
    <message>
        <source>Cuelark — signed out</source>
        <translation>Cuelark — abgemeldet</translation>
    </message>
    <message>
        <source>Cuelark — signing in…</source>
        <extracomment>The user has to finish signing in in the web browser.</extracomment>
        <translation>Cuelark — Anmeldung läuft…</translation>
    </message>
    <message>
        <source>Cuelark — not updated since %1</source>
        <extracomment>%1 is the time of the last successful refresh; the error follows on a second line.</extracomment>
        <translation>Cuelark — nicht aktualisiert seit %1</translation>
    </message>
    <message>
        <source>Cuelark — not updated yet</source>
        <translation>Cuelark — noch nicht aktualisiert</translation>
    </message>
    <message numerus="yes">
        <source>Cuelark — %n pending · updated %1</source>
        <extracomment>%n is the number of pending song requests, %1 the time of the last refresh.</extracomment>
        <translation>
            <numerusform>Cuelark — %n offen · aktualisiert %1</numerusform>
            <numerusform>Cuelark — %n offen · aktualisiert %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>UnopenedPageNotice</name>
    <message>
        <source>No browser opened the page. Open this address in one:</source>
        <extracomment>Shown when no web browser could be started for a link; its address follows.</extracomment>
        <translation>Kein Browser hat die Seite geöffnet. Öffnen Sie diese Adresse in einem:</translation>
    </message>
    <message>
        <source>Copy</source>
        <extracomment>Copies the address of a page no browser opened.</extracomment>
        <translation>Kopieren</translation>
    </message>
</context>
<context>
    <name>UpdateChecker</name>
    <message>
        <source>A new version is available.</source>
        <translation>Eine neue Version ist verfügbar.</translation>
    </message>
</context>
<context>
    <name>UpdateNotifier</name>
    <message>
        <source>Download the new package, quit Cuelark, install it, then reopen the app.</source>
        <translation>Lade das neue Paket herunter, beende Cuelark, installiere es und öffne die App dann wieder.</translation>
    </message>
    <message>
        <source>This is an unsigned beta build. Install it only if it came from the official Cuelark download.</source>
        <translation>Dies ist eine unsignierte Beta-Version. Installiere sie nur, wenn sie aus dem offiziellen Cuelark-Download stammt.</translation>
    </message>
    <message>
        <source>Update available (v%1)</source>
        <translation>Update verfügbar (v%1)</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>Du bist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Cuelark v%1 is the latest version.</source>
        <translation>Cuelark v%1 ist die neueste Version.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Couldn&apos;t check for updates</source>
        <translation>Suche nach Updates fehlgeschlagen</translation>
    </message>
</context>
</TS>
