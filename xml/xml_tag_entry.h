// vexa_xml_tag_entry: one open element on the tag stack that the XML reader
// and the XML writer keep, so that either can tell where an element ends. The
// stack is a singly linked list of heap entries owned by its reader or writer.
#ifndef QV_XML_XML_TAG_ENTRY_H
#define QV_XML_XML_TAG_ENTRY_H

// Bytes of an entry's tag text; longer tags are cut to one byte less.
enum { XML_TAG_TEXT_SIZE = 1000 };

struct vexa_xml_tag_entry {
    char tag[XML_TAG_TEXT_SIZE];
    vexa_xml_tag_entry *next;
};

// Pushes an entry holding a copy of tag (at most XML_TAG_TEXT_SIZE - 1
// characters; null is taken as "") onto *head. Returns the entry, or null with
// a report (stack unchanged) when no memory was left.
vexa_xml_tag_entry *vexa_xml_push_tag_entry(vexa_xml_tag_entry **head, const char *tag);
// Unlinks the head entry and returns it for the caller to free, or null when
// the stack is empty.
vexa_xml_tag_entry *vexa_xml_unlink_tag_entry(vexa_xml_tag_entry **head);
// Frees an entry that is no longer linked (null is ignored).
void vexa_xml_free_tag_entry(vexa_xml_tag_entry *entry);
// Frees every entry; the stack is empty afterwards.
void vexa_xml_free_tag_stack(vexa_xml_tag_entry **head);

#endif
