// A small HTTP/1.1 server on 127.0.0.1 for the update tests: given statuses
// and bodies, sent with a Content-Length or chunked, redirects, and silence.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

namespace orvanta::test {

class TestHttpServer final : public QObject {
  Q_OBJECT

 public:
  enum class Framing { ContentLength, Chunked, Silent };
  struct Response {
    int status = 200;
    // The body: the first piece goes out with the head, each further one at
    // SendNextPiece(), so that a test sees one progress step per piece.
    QList<QByteArray> pieces;
    Framing framing = Framing::ContentLength;
    QByteArray location;
  };
  static Response Body(const QByteArray& body) { return Response{200, {body}, Framing::ContentLength, {}}; }
  static Response Redirect(const QByteArray& location) { return Response{302, {}, Framing::ContentLength, location}; }
  // Reads the request and never answers.
  static Response Silence() { return Response{200, {}, Framing::Silent, {}}; }

  TestHttpServer();
  ~TestHttpServer() override;

  // Paths without a route answer 404.
  void Route(const QByteArray& path, const Response& response) { routes_[path] = response; }
  QString BaseUrl() const;
  quint16 Port() const;
  // Sends the next piece on every response still under way.
  void SendNextPiece();

  QList<QByteArray> paths;  // every request's path, in order
  QList<QByteArray> userAgents;

 private:
  struct Exchange {
    QTcpSocket* socket = nullptr;
    QByteArray request;
    bool answered = false;
    Response response;
    int sent = 0;
  };
  void Read(Exchange& exchange);
  void Answer(Exchange& exchange);
  void SendPiece(Exchange& exchange);

  QTcpServer* server_;
  QMap<QByteArray, Response> routes_;
  QList<Exchange*> exchanges_;
};

}  // namespace orvanta::test
