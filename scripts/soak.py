#!/usr/bin/env python3
"""Random edits on both sides of one database, synced again and again.

    scripts/soak.py contacts|calendar|tasks|memos|mail|all [--seed N] [--rounds N] [--bridge] [--shared]
                    [--faults] [--keep]

Starts from the demo handheld synced into a fresh store, adds eight records
of its own, then per round makes up to four random changes on the
simulated handheld (its image file) and in the PC's files (edit, add,
delete; on the PC also a rename and a property the handheld does not
hold), syncs with a random --conflict policy (two rounds in five first
killed at a random step, one in ten with the state removed instead), and
checks both sides against a model of what each must hold: each record's
token and value, kept twice after a conflict under keep-both.  A second
sync must then find nothing to do.
  all       the five kinds at once: each change falls on one of them, and
            every sync is of all databases, as a person runs it;
  --shared  (tasks only) the tasks live in the calendar's collection and
            both databases are synced: the events, which nobody edits,
            must stay as they are on both sides;
  --faults  one round in five with changes, the handheld first fails a
            call of its link (a read, a write, a close) in a sync that
            must exit 1 or 0; the next sync must converge all the same.
Exits 1 at the first round that differs, naming its changes.  Not a CI
stage: 80 rounds take 9 to 15 seconds.  Needs a build (scripts/build.sh);
--build names a copy of one, so that a rebuild meanwhile does not pull the
program from under it.
"""
import argparse, copy, glob, json, os, random, re, shutil, subprocess, sys, tempfile, time, uuid

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Where a handheld may fail in a sync (--faults): the calls of its link that read, write and close.
LINK_CALLS = ["S_DVXGetAllSyncRecordList", "S_DVXGetRecordData", "S_DVXGetFirstSyncRecordData", "S_DVXPutRecordData",
              "S_DVXPutFirstSyncRecordData", "S_DVXDeleteRecordData", "S_DVXCloseDataBase", "S_DVXSetSyncTime"]
STEPS = ["gathered", "marked", "pc-write", "pc-applied", "device-imported", "device-committed", "database-done",
         "finished"]


def num(v):
    """A link value of the image: a number, or its little-endian bytes."""
    if isinstance(v, dict): return int.from_bytes(bytes.fromhex(v['hex']), 'little')
    return int(v or 0)


def header(text, name):
    m = re.search(r'^%s(?:;[^:\r\n]*)?:([^\r\n]*)' % name, text, re.M | re.I)
    return m.group(1).strip() if m else ''


def replace_line(text, name, line, before):
    """text with its first line of that property replaced by line, or line put before the line `before`."""
    if re.search(r'^%s[;:]' % name, text, re.M):
        return re.sub(r'^%s[;:][^\r\n]*' % name, lambda _: line, text, count=1, flags=re.M)
    return text.replace(before, line + '\r\n' + before, 1)


class Contacts:
    """A contact's value: its company and its mobile number, none when empty ("C3d/+49 170 1234567")."""
    section, dbs, folder, ext, prefix = 1, (7,), 'contacts', '.vcf', 'T'
    # How programs write a mobile number: vCard 3 types, and a vCard 4 tel: URI.
    tel_styles = ('TEL;TYPE=CELL:%s', 'TEL;TYPE=cell,voice:%s', 'TEL;VALUE=uri;TYPE=cell:tel:%s')
    def choices(self, rng, rnd, side):
        mobile = '' if rng.random() < 0.3 else '+49 170 %07d' % rng.randint(0, 9999999)
        return 'C%d%s/%s' % (rnd, side, mobile)
    def dev_value(self, v): return '%s/%s' % (v.get('S_COMPANY', ''), v.get('S_PHONE_MOBILE', ''))
    def dev_set(self, v, value):
        v['S_COMPANY'], mobile = value.split('/')
        if mobile: v['S_PHONE_MOBILE'] = mobile
        else: v.pop('S_PHONE_MOBILE', None)
    def dev_new(self, token, value):
        v = {'S_FIRST_NAME': 'Soak', 'S_LAST_NAME': token}
        self.dev_set(v, value)
        return 7, v
    def dev_token(self, v): return v.get('S_LAST_NAME')
    def pc_read(self, text):
        m = re.search(r'^TEL[^:\r\n]*cell[^:\r\n]*:(?:tel:)?([^\r\n]*)', text, re.M | re.I)
        return header(text, 'N').split(';')[0], '%s/%s' % (header(text, 'ORG').split(';')[0], m.group(1) if m else '')
    def pc_set(self, text, value):
        company, mobile = value.split('/')
        text = replace_line(text, 'ORG', 'ORG:' + company, 'END:VCARD')
        text = re.sub(r'^TEL[^:\r\n]*cell[^\r\n]*\r?\n', '', text, flags=re.M | re.I)
        if not mobile: return text
        style = self.tel_styles[sum(map(ord, mobile)) % len(self.tel_styles)]
        return text.replace('END:VCARD', style % mobile + '\r\nEND:VCARD', 1)
    def pc_new(self, token, value, uid):
        return ('%s.vcf' % uid, self.pc_set('BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%s\r\nFN:Soak %s\r\nN:%s;Soak;;;\r\n'
                                            'END:VCARD\r\n' % (uid, token, token), value))
    end = 'END:VCARD'


class Calendar:
    """An event's value: its location and its start hour, or AD for all-day ("C3d@11", "C4p@AD")."""
    section, dbs, folder, ext, prefix = 2, (1,), 'calendar', '.ics', 'E'
    def choices(self, rng, rnd, side):
        hour = rng.randint(3, 20)  # one in four all-day
        return 'C%d%s@%s' % (rnd, side, 'AD' if hour < 7 else '%02d' % hour)
    def dev_value(self, v):
        return '%s@%s' % (v.get('S_LOCATION', ''), 'AD' if num(v.get('S_ALLDAY_FLAG')) else v.get('S_START_TIME', '??')[:2])
    def dev_set(self, v, value):
        place, hour = value.split('@')
        v['S_LOCATION'], v['S_ALLDAY_FLAG'] = place, int(hour == 'AD')
        if hour == 'AD':
            v.pop('S_START_TIME', None), v.pop('S_END_TIME', None)
        else:
            v['S_START_TIME'], v['S_END_TIME'] = hour + ':00:00', '%02d:00:00' % (int(hour) + 1)
    def dev_new(self, token, value):
        day = '2026-12-%02d' % (1 + int(token[1:]) % 28)
        v = {'S_DESCRIPTION4': token, 'S_START_DATE': day, 'S_END_DATE': day, 'S_ALARM_FLAG': 0, 'S_REPEAT_FLAG': 0}
        self.dev_set(v, value)
        return 1, v
    def dev_token(self, v): return v.get('S_DESCRIPTION4')
    def pc_read(self, text):
        event = text[text.find('BEGIN:VEVENT'):]
        m = re.search(r'^DTSTART[^:\r\n]*:\d{8}(T(\d\d))?', event, re.M)
        hour = '??' if not m else m.group(2) if m.group(1) else 'AD'
        return header(event, 'SUMMARY'), '%s@%s' % (header(event, 'LOCATION'), hour)
    @staticmethod
    def when(name, day, hour, hours=0):
        """A time property of December's day in the form of hour (AD: a date)."""
        if hour == 'AD': return '%s;VALUE=DATE:202612%02d' % (name, day + (hours > 0))
        return '%s;TZID=Europe/Berlin:202612%02dT%02d0000' % (name, day, int(hour) + hours)
    def pc_set(self, text, value):
        # As a calendar program changes it: an all-day event's times are
        # dates, and so are its left-out occurrences.
        place, hour = value.split('@')
        cut = text.index('BEGIN:VEVENT')
        event = replace_line(text[cut:], 'LOCATION', 'LOCATION:' + place, 'END:VEVENT')
        for name, hours in (('DTSTART', 0), ('DTEND', 1), ('EXDATE', 0)):
            m = re.search(r'^%s[^:\r\n]*:\d{6}(\d\d)[^\r\n]*' % name, event, re.M)
            if m:
                line = self.when(name, int(m.group(1)) - (name == 'DTEND' and 'T' not in m.group(0).split(':')[-1]), hour, hours)
                event = event[:m.start()] + line + event[m.end():]
        return text[:cut] + event
    def pc_new(self, token, value, uid):
        # Every other one repeats weekly with an occurrence left out, so
        # that moves of a series with exceptions are made too.
        place, hour = value.split('@')
        day = 1 + int(token[1:]) % 28
        repeat = ('RRULE:FREQ=WEEKLY;COUNT=%d\r\n%s\r\n' % (3 + day % 4, self.when('EXDATE', day + 7, hour))
                  if day % 2 and day <= 21 else '')
        return ('%s.ics' % uid, 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//soak//EN\r\nBEGIN:VEVENT\r\nUID:%s\r\n'
                'DTSTAMP:20261201T000000Z\r\nSEQUENCE:4\r\n%s\r\n%s\r\n%sSUMMARY:%s\r\nLOCATION:%s\r\nEND:VEVENT\r\n'
                'END:VCALENDAR\r\n' % (uid, self.when('DTSTART', day, hour), self.when('DTEND', day, hour, 1), repeat,
                                         token, place))
    def pc_problem(self, text):
        """An exception in another form than the start's, which RFC 5545 rules out and khal misreads."""
        event = text[text.find('BEGIN:VEVENT'):]
        forms = {'T' in value for value in re.findall(r'^(?:DTSTART|EXDATE|RECURRENCE-ID)[^:\r\n]*:([^\r\n]*)', event, re.M)}
        return 'EXDATE or RECURRENCE-ID not in DTSTART\'s form' if len(forms) > 1 else None
    end = 'END:VEVENT'


class Tasks:
    """A task's value: its due day in December and whether it is done ("18d")."""
    section, dbs, folder, ext, prefix = 3, (6,), 'tasks', '.ics', 'K'
    def choices(self, rng, rnd, side): return '%02d%s' % (rng.randint(10, 28), rng.choice('nd'))
    def dev_value(self, v): return v.get('S_END_DATE', '????????')[8:10] + ('d' if num(v.get('S_COMPLETED')) else 'n')
    def dev_set(self, v, value):
        v['S_END_DATE'], v['S_COMPLETED'] = '2026-12-' + value[:2], int(value[2] == 'd')
        if value[2] == 'd': v['S_COMPLETION_DATE'] = '2026-12-09'
        else: v.pop('S_COMPLETION_DATE', None)
    def dev_new(self, token, value):
        v = {'S_DESCRIPTION3': token, 'S_PRIORITY': 3}
        self.dev_set(v, value)
        return 6, v
    def dev_token(self, v): return v.get('S_DESCRIPTION3')
    def pc_read(self, text):
        m = re.search(r'^DUE[^:\r\n]*:\d{6}(\d\d)', text, re.M)
        return header(text, 'SUMMARY'), (m.group(1) if m else '??') + ('d' if header(text, 'STATUS') == 'COMPLETED' else 'n')
    # How programs write a due day: a date, a time of day in a zone (Thunderbird), midnight in UTC (todoman).
    due_styles = ('DUE;VALUE=DATE:202612%s', 'DUE;TZID=Europe/Berlin:202612%sT170000', 'DUE:202612%sT000000Z')
    def pc_set(self, text, value):
        style = self.due_styles[sum(map(ord, value)) % len(self.due_styles)]
        text = replace_line(text, 'DUE', style % value[:2], 'END:VTODO')
        text = re.sub(r'^(COMPLETED|PERCENT-COMPLETE):[^\r\n]*\r?\n', '', text, flags=re.M)
        status = 'STATUS:COMPLETED\r\nCOMPLETED:20261209T100000Z' if value[2] == 'd' else 'STATUS:NEEDS-ACTION'
        return replace_line(text, 'STATUS', status, 'END:VTODO')
    def pc_new(self, token, value, uid):
        return ('%s.ics' % uid, self.pc_set('BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//soak//EN\r\nBEGIN:VTODO\r\n'
                                            'UID:%s\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:%s\r\nEND:VTODO\r\n'
                                            'END:VCALENDAR\r\n' % (uid, token), value))
    end = 'END:VTODO'


class Memos:
    """A memo's value: its text below the title, of one line or two ("C3d" or "C3d, milk\\neggs")."""
    section, dbs, folder, ext, prefix = 4, (8,), 'memos', '.ics', 'N'
    def choices(self, rng, rnd, side): return 'C%d%s' % (rnd, side) + rng.choice(['', ', milk\neggs; bread'])
    def dev_value(self, v): return v.get('S_PAGE_NOTE', '').replace('\r\n', '\n').partition('\n')[2]
    def dev_set(self, v, value): v['S_PAGE_NOTE'] = v['S_PAGE_TITLE'] + '\n' + value
    def dev_new(self, token, value):
        v = {'S_PAGE_TITLE': token, 'S_START_DATETIME': '2026-12-01T10:00:00'}
        self.dev_set(v, value)
        return 8, v
    def dev_token(self, v): return v.get('S_PAGE_TITLE')
    @staticmethod
    def unescape(value): return re.sub(r'\\([nN,;\\])', lambda m: '\n' if m.group(1) in 'nN' else m.group(1), value)
    def pc_read(self, text): return header(text, 'SUMMARY'), self.unescape(header(text, 'DESCRIPTION'))
    def pc_set(self, text, value):
        escaped = value.replace('\\', '\\\\').replace(';', '\\;').replace(',', '\\,').replace('\n', '\\n')
        return replace_line(text, 'DESCRIPTION', 'DESCRIPTION:' + escaped, 'END:VJOURNAL')
    def pc_new(self, token, value, uid):
        return ('%s.ics' % uid, self.pc_set('BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//soak//EN\r\nBEGIN:VJOURNAL\r\n'
                                            'UID:%s\r\nDTSTAMP:20261201T090000Z\r\nDTSTART:20261201T100000\r\n'
                                            'SUMMARY:%s\r\nEND:VJOURNAL\r\nEND:VCALENDAR\r\n' % (uid, token), value))
    end = 'END:VJOURNAL'


class Mail:
    """A message's value: its folder on the handheld (0 received, 3 saved) and whether it was read ("3r")."""
    section, dbs, folder, ext, prefix = 5, (15, 16), 'mail', '', 'M'
    dirs = {0: 'Inbox', 3: 'Saved'}
    def choices(self, rng, rnd, side): return rng.choice(['0u', '0r', '3u', '3r'])
    def dev_value(self, v): return '%d%s' % (num(v.get('S_FOLDERID')), 'r' if num(v.get('S_IS_READ')) else 'u')
    def dev_set(self, v, value): v['S_FOLDERID'], v['S_IS_READ'] = int(value[0]), int(value[1] == 'r')
    def dev_new(self, token, value):
        v = {'S_TYPE': 0, 'S_TO': 'me@example.org', 'S_FROM': 'soak@example.net', 'S_SUBJECT': token,
             'S_BODY': 'Body of ' + token, 'S_SEND_DATE': '2026-12-01T10:00:00', 'S_RECEIVED_DATE': '2026-12-01T10:00:00',
             'S_IS_SENT': 0, 'S_ATTACHMENT2': 0, 'S_ISSMS': 0, 'S_PRIORITY': 2}
        self.dev_set(v, value)
        return 16, v
    def dev_token(self, v): return v.get('S_SUBJECT') if num(v.get('S_FOLDERID')) in self.dirs else None
    def files(self, store):
        return [f for d in self.dirs.values() for sub in ('cur', 'new') for f in glob.glob('%s/mail/%s/%s/*' % (store, d, sub))]
    def pc_read_file(self, path):
        folder = [k for k, d in self.dirs.items() if '/%s/' % d in path][0]
        info = path.rsplit(':2,', 1)[1] if ':2,' in path else ''
        text = open(path, 'rb').read().decode('utf-8', 'replace')
        return header(text, 'Subject'), '%d%s' % (folder, 'r' if 'S' in info else 'u')
    def pc_move(self, store, path, value):
        name, _, info = os.path.basename(path).partition(':2,')
        flags = ''.join(sorted(set(info.replace('S', '')) | ({'S'} if value[1] == 'r' else set())))
        os.rename(path, '%s/mail/%s/cur/%s:2,%s' % (store, self.dirs[int(value[0])], name, flags))
    def pc_new(self, token, value, uid):
        return ('%s/cur/%s:2,%s' % (self.dirs[int(value[0])], uid, 'S' if value[1] == 'r' else ''),
                'From: soak@example.net\r\nTo: me@example.org\r\nSubject: %s\r\nDate: Tue, 01 Dec 2026 10:00:00 +0100\r\n'
                'Message-ID: <%s@soak>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n'
                'Body of %s\r\n' % (token, uid, token))
    end = None  # no rename or property of its own: a message's name carries its flags


KINDS = {'contacts': Contacts, 'calendar': Calendar, 'tasks': Tasks, 'memos': Memos, 'mail': Mail}


class World:
    """The demo handheld's image and a store, and morvane-sync run on them."""

    def __init__(self, kind, top, binary, bridge, shared):
        self.kind, self.top, self.binary, self.bridge, self.shared = kind, top, binary, bridge, shared
        self.every = False  # every database synced, not only the kind's
        self.store, self.image = top + '/store', top + '/device.json'
        demo = subprocess.run([binary, 'demo', '--keep'], cwd=top, capture_output=True, text=True)
        kept = re.search(r'\((/[^()]*)/drive_c/', demo.stdout)
        if demo.returncode != 0 or kept is None: sys.exit('the demo failed:\n' + demo.stdout + demo.stderr)
        for name in ('device.json', 'drive_c', 'user.reg'):
            (shutil.copytree if name == 'drive_c' else shutil.copy)(kept.group(1) + '/' + name, top + '/' + name)
        shutil.rmtree(kept.group(1))
        self.env = dict(os.environ, MORVANE_DRIVE_C=top + '/drive_c', MORVANE_REGISTRY=top + '/user.reg',
                        MORVANE_DEVICE=self.image, MORVANE_MESSAGEBOX='ok', TZ='Europe/Berlin')

    def sync(self, extra=(), abort=None):
        env = dict(self.env, **({'MORVANE_SYNC_ABORT_AT': abort} if abort else {}))
        bridge = ['--bridge', self.bridge] if self.bridge else []
        shared = ['--tasks', self.store + '/calendar', '--section', '2'] if self.shared else []
        section = [] if self.every else ['--section', str(self.kind.section)]
        run = subprocess.run([self.binary, 'sync', '--store', self.store, '--yes'] + section + shared + bridge + list(extra),
                             env=env, capture_output=True, text=True)
        return run.returncode, run.stdout + run.stderr

    # The handheld: its image file, and its lists of changes.
    def edit_device(self, change):
        image = json.load(open(self.image))
        change({db['id']: db for db in image['databases']})
        json.dump(image, open(self.image, 'w'), ensure_ascii=False, indent=1)

    def fail(self, call, nth, error):
        """The handheld fails the nth call of that name from the next session on, until healed."""
        self.set_faults([{'operation': call, 'call': nth, 'error': error, 'persistent': False}])

    def heal(self): self.set_faults([])

    def set_faults(self, faults):
        image = json.load(open(self.image))
        image['faults'] = faults
        json.dump(image, open(self.image, 'w'), ensure_ascii=False, indent=1)

    def records(self, dbs):
        return [(db, r) for db in dbs.values() if db['id'] in self.kind.dbs for r in db['records']]

    def dev_set(self, token, value):
        def change(dbs):
            db, r = [(db, r) for db, r in self.records(dbs) if self.kind.dev_token(r['values']) == token][0]
            self.kind.dev_set(r['values'], value)
            if r['id'] not in db['changed'] and r['id'] not in db['added']: db['changed'].append(r['id'])
        self.edit_device(change)

    def dev_add(self, token, value):
        def change(dbs):
            dbid, values = self.kind.dev_new(token, value)
            db = dbs[dbid]
            db['records'].append({'id': db['nextId'], 'values': values})
            db['added'].append(db['nextId'])
            db['nextId'] += 1
        self.edit_device(change)

    def dev_del(self, token):
        def change(dbs):
            db, r = [(db, r) for db, r in self.records(dbs) if self.kind.dev_token(r['values']) == token][0]
            db['records'].remove(r)
            for listed in ('added', 'changed'):
                if r['id'] in db[listed]: db[listed].remove(r['id'])
            db['deleted'].append(r['id'])
        self.edit_device(change)

    def device_side(self):
        image = json.load(open(self.image))
        return sorted((self.kind.dev_token(r['values']), self.kind.dev_value(r['values']))
                      for _, r in self.records({db['id']: db for db in image['databases']})
                      if self.kind.dev_token(r['values']) is not None)

    # The PC: the collection's files.
    def pc_items(self):
        if isinstance(self.kind, Mail): return {f: self.kind.pc_read_file(f) for f in self.kind.files(self.store)}
        texts = {f: open(f, encoding='utf-8', newline='').read()
                 for f in glob.glob('%s/%s/*%s' % (self.store, self.kind.folder, self.kind.ext))}
        return {f: self.kind.pc_read(text) for f, text in texts.items() if not self.shared or 'BEGIN:VTODO' in text}

    def events(self):
        """Of a shared collection: its events' files, and the handheld's Schedule records."""
        texts = {f: open(f, encoding='utf-8', newline='').read() for f in glob.glob(self.store + '/calendar/*.ics')}
        image = json.load(open(self.image))
        return ({f: t for f, t in texts.items() if 'BEGIN:VTODO' not in t},
                [db['records'] for db in image['databases'] if db['id'] == 1])

    def pc_file(self, token):
        return [f for f, v in self.pc_items().items() if v[0] == token][0]

    def pc_set(self, token, value):
        path = self.pc_file(token)
        if isinstance(self.kind, Mail): return self.kind.pc_move(self.store, path, value)
        text = open(path, encoding='utf-8', newline='').read()
        open(path, 'w', encoding='utf-8', newline='').write(self.kind.pc_set(text, value))

    def pc_add(self, token, value, uid):
        name, text = self.kind.pc_new(token, value, uid)
        open('%s/%s/%s' % (self.store, self.kind.folder, name), 'w', encoding='utf-8', newline='').write(text)

    def pc_del(self, token):
        os.remove(self.pc_file(token))

    def pc_side(self):
        return sorted(self.pc_items().values())


def settle(model, token, device, pc, policy):
    """What both sides must hold of token after a sync that met these changes."""
    if device and device[0] == 'add': model[token] = [device[1]]
    elif pc and pc[0] == 'add': model[token] = [pc[1]]
    elif pc and pc[0] == 'extra':  # a property the handheld does not hold: no conflict
        if device and device[0] == 'edit': model[token] = [device[1]]
        elif device: model[token] = [pc[1]]  # the changed item wins over the deletion
    elif device and pc:
        if device[0] == 'del' and pc[0] == 'del': del model[token]
        elif device[0] == 'del': model[token] = [pc[1]]
        elif pc[0] == 'del': model[token] = [device[1]]
        elif device[1] == pc[1]: model[token] = [pc[1]]
        elif policy == 'keep-both': model[token] = [device[1], pc[1]]
        else: model[token] = [device[1] if policy == 'device' else pc[1]]
    else:
        change = device or pc
        if change[0] == 'del': del model[token]
        else: model[token] = [change[1]]


def differences(world, model, others):
    """How one kind's two sides differ from the model and from what else they held."""
    kind, (others_device, others_pc) = world.kind, others
    wanted = [(t, v) for t, values in model.items() if t[0] == kind.prefix for v in values]
    differs = []
    if hasattr(kind, 'pc_problem'):
        for f in world.pc_items():
            problem = kind.pc_problem(open(f, encoding='utf-8', newline='').read())
            if problem: differs.append('%s: %s' % (f, problem))
    for name, have, known in (('handheld', world.device_side(), others_device), ('PC', world.pc_side(), others_pc)):
        if have != sorted(known + wanted):
            differs.append('%s holds %s, the model %s' % (name, sorted(set(have) - set(known + wanted)),
                                                          sorted(set(known + wanted) - set(have))))
    return differs


def main():
    args = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    args.add_argument('kind', choices=sorted(KINDS) + ['all'])
    args.add_argument('--seed', type=int, default=1)
    args.add_argument('--rounds', type=int, default=80)
    args.add_argument('--bridge', action='store_true', help='reach the adapter through morvane-bridge')
    args.add_argument('--shared', action='store_true', help='tasks in the calendar\'s collection')
    args.add_argument('--faults', action='store_true', help='one round in five, the handheld fails a call first')
    args.add_argument('--build', default=ROOT + '/build')
    args.add_argument('--keep', action='store_true', help='keep the world\'s folder')
    opts = args.parse_args()
    kinds = [KINDS[k]() for k in (KINDS if opts.kind == 'all' else [opts.kind])]
    rng = random.Random(opts.seed)
    if opts.shared and opts.kind != 'tasks': args.error('--shared is for tasks')
    if opts.shared: kinds[0].folder = 'calendar'
    top = tempfile.mkdtemp(prefix='morvane-soak-')
    first = World(kinds[0], top, opts.build + '/bin/morvane-sync',
                  opts.build + '/bin/morvane-bridge' if opts.bridge else None, opts.shared)
    # All kinds: one world per kind on the same handheld and store, every sync of all databases.
    worlds = [first] + [copy.copy(first) for _ in kinds[1:]]
    for world, kind in zip(worlds, kinds): world.kind, world.every = kind, len(kinds) > 1
    of = {world.kind.prefix: world for world in worlds}
    assert first.sync()[0] == 0
    model = {}
    for world in worlds:
        for i in range(8):
            token, value = '%s%d' % (world.kind.prefix, i), world.kind.choices(rng, 0, 'd')
            world.dev_add(token, value)
            model[token] = [value]
    code, out = first.sync()
    assert code == 0, out
    others = {w.kind.prefix: ([v for v in w.device_side() if v[0] not in model], [v for v in w.pc_side() if v[0] not in model])
              for w in worlds}
    events = first.events() if opts.shared else None
    next_token = 8
    for rnd in range(1, opts.rounds + 1):
        live = [t for t, values in model.items() if len(values) == 1]
        changes = {'dev': {}, 'pc': {}}
        for _ in range(0 if rng.random() < 0.1 else rng.randint(1, 4)):
            world = worlds[0] if len(worlds) == 1 else rng.choice(worlds)
            kind = world.kind
            side = rng.choice(['dev', 'pc'])
            what = rng.choice(['edit', 'edit', 'add', 'del'] + (['rename', 'extra'] if side == 'pc' and kind.end else []))
            mine = changes[side]
            if what == 'add':
                token, value = '%s%d' % (kind.prefix, next_token), kind.choices(rng, rnd, side[0])
                next_token += 1
                if side == 'dev': world.dev_add(token, value)
                else: world.pc_add(token, value, str(uuid.UUID(int=rng.getrandbits(128))))
                mine[token] = ('add', value)
                continue
            candidates = [t for t in live if t not in mine and t[0] == kind.prefix]
            if not candidates: continue
            token = rng.choice(candidates)
            if what == 'rename':
                path = world.pc_file(token)
                os.rename(path, os.path.join(os.path.dirname(path), 'renamed-%d-%s%s' % (rnd, token, kind.ext)))
            elif what == 'extra':
                path = world.pc_file(token)
                text = open(path, newline='').read().replace(kind.end, 'X-SOAK:%d\r\n%s' % (rnd, kind.end))
                open(path, 'w', newline='').write(text)
                mine[token] = ('extra', model[token][0])
            elif what == 'edit':
                value = model[token][0]
                while value == model[token][0]: value = kind.choices(rng, rnd, side[0])
                (world.dev_set if side == 'dev' else world.pc_set)(token, value)
                mine[token] = ('edit', value)
            else:
                (world.dev_del if side == 'dev' else world.pc_del)(token)
                mine[token] = ('del', None)
                live.remove(token)
        policy = rng.choice(['keep-both', 'device', 'pc'])
        for token in sorted(set(changes['dev']) | set(changes['pc'])):
            settle(model, token, changes['dev'].get(token), changes['pc'].get(token), policy)
        how = 'plain'
        if not changes['dev'] and not changes['pc']:
            shutil.rmtree(first.store + '/.morvane')
            how = 'state removed'
        elif opts.faults and rng.random() < 0.2:
            call, nth, error = rng.choice(LINK_CALLS), rng.randint(1, 3), rng.choice(['0x10000007', '0x10000002'])
            how = 'the handheld failing %s call %d with %s' % (call, nth, error)
            first.fail(call, nth, error)
            code, out = first.sync(['--conflict', policy])
            if code not in (0, 1): print('round %d: the failed sync exited %d\n%s' % (rnd, code, out))
            first.heal()
        elif rng.random() < 0.4:
            how = 'killed at ' + rng.choice(STEPS)
            code, out = first.sync(['--conflict', policy], abort=how.split()[-1])
            if code not in (0, 9): print('round %d: the killed sync exited %d\n%s' % (rnd, code, out))
        label = 'round %d (%s, %s; handheld %s, PC %s)' % (rnd, policy, how, changes['dev'], changes['pc'])
        code, out = first.sync(['--conflict', policy])
        differs = ['exit %d\n%s' % (code, out)] if code != 0 else []
        for world in worlds:
            differs += differences(world, model, others[world.kind.prefix])
        if events and first.events() != events: differs.append('the events changed')
        code, out = first.sync()
        if code != 0 or re.search(r'\|[^|\n]*[1-9]', out.split('database')[-1]): differs.append('the next sync was not idle:\n' + out)
        if differs:
            print(label + ':\n  ' + '\n  '.join(differs))
            print('the world is kept in ' + top)
            return 1
    print('%s: %d rounds in agreement (seed %d)' % (opts.kind, opts.rounds, opts.seed))
    if not opts.keep: shutil.rmtree(top)
    return 0


if __name__ == '__main__':
    sys.exit(main())
